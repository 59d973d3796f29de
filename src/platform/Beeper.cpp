#include "Beeper.h"

#include "MediaModule.h"

namespace orvelle {

namespace {
class SoundEffectBeeper : public Beeper
{
public:
    void beep() override
    {
        // Made on first use: the audio device costs time nobody should wait
        // for before the first scan.
        if (!m_asked) {
            m_asked = true;
            if (MediaModule *media = mediaModule())
                m_sound =
                    media->sound(QUrl(QStringLiteral("qrc:/Orvelle/Platform/sounds/beep.wav")));
        }
        if (m_sound)
            m_sound->play();
    }

private:
    bool m_asked = false;
    std::unique_ptr<MediaModule::Sound> m_sound;
};

class SilentBeeper : public Beeper
{
public:
    void beep() override {}
};
} // namespace

std::unique_ptr<Beeper> Beeper::soundEffect()
{
    return std::make_unique<SoundEffectBeeper>();
}

std::unique_ptr<Beeper> Beeper::silent()
{
    return std::make_unique<SilentBeeper>();
}

} // namespace orvelle
