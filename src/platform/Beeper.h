#pragma once

#include <memory>

namespace orvelle {

// The short confirmation sound of a successful scan.
class Beeper
{
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;

    // A QSoundEffect; silent when the machine has no audio output.
    static std::unique_ptr<Beeper> soundEffect();
    static std::unique_ptr<Beeper> silent();
};

} // namespace orvelle
