#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

class Scheduler;

// The wait before another SMS code may be asked for: 30 seconds counted down
// once a second. The code button reads its text and state from here.
class CodeCountdown : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the screen that asks for codes")
    Q_PROPERTY(qint64 countdown READ countdown NOTIFY countdownChanged)
    Q_PROPERTY(QString buttonText READ buttonText NOTIFY countdownChanged)
    Q_PROPERTY(bool buttonEnabled READ buttonEnabled NOTIFY countdownChanged)

public:
    static constexpr qint64 seconds = 30;

    explicit CodeCountdown(Scheduler &scheduler, QObject *parent = nullptr);

    qint64 countdown() const { return m_countdown; }
    // "获取验证码", or the seconds left followed by "秒后重试".
    QString buttonText() const;
    bool buttonEnabled() const { return m_countdown < 1; }
    bool isTicking() const { return m_ticking; }

    void start();
    // The screen was left: no more ticks.
    void stop();

signals:
    // The seconds left, and so the button.
    void countdownChanged();

private:
    void scheduleTick();
    void tick();

    Scheduler &m_scheduler;
    qint64 m_countdown = 0;
    bool m_ticking = false;
    // A restart while ticking must not add a second chain of ticks.
    quint64 m_generation = 0;
};

} // namespace orvelle
