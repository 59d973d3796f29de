#include "Beeper.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>

namespace orvelle {

namespace {
class SoundEffectBeeper : public Beeper
{
public:
    void beep() override
    {
        // Created on first use: opening the audio device costs start-up time.
        if (!m_effect) {
            if (QMediaDevices::audioOutputs().isEmpty())
                return;
            m_effect = std::make_unique<QSoundEffect>();
            m_effect->setSource(QUrl(QStringLiteral("qrc:/Orvelle/Platform/sounds/beep.wav")));
        }
        m_effect->play();
    }

private:
    std::unique_ptr<QSoundEffect> m_effect;
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
