#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <chrono>

namespace orvelle {

class Scheduler;

// A transient message of one screen. Each show() schedules its own reset, so
// overlapping calls end the toast 2 s after the first of them.
class ToastManager : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Toasts belong to the view that shows them")
    Q_PROPERTY(bool isShowing READ isShowing NOTIFY isShowingChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)

public:
    static constexpr std::chrono::milliseconds duration{2000};

    explicit ToastManager(QObject *parent = nullptr);
    ToastManager(Scheduler &scheduler, QObject *parent = nullptr);

    bool isShowing() const { return m_isShowing; }
    QString message() const { return m_message; }

    Q_INVOKABLE void show(const QString &message);

signals:
    void isShowingChanged();
    void messageChanged();

private:
    void setShowing(bool showing);

    Scheduler &m_scheduler;
    bool m_isShowing = false;
    QString m_message;
};

} // namespace orvelle
