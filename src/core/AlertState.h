#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// The "提示" box of one screen: the view shows a message, the page draws it
// while `shown`, and "确定" acknowledges it. Screens that act on the answer
// (navigate, sign out, bring an update alert back) listen to `acknowledged`.
class AlertState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the screen that shows it")
    Q_PROPERTY(bool shown READ shown NOTIFY changed)
    Q_PROPERTY(QString message READ message NOTIFY changed)

public:
    using QObject::QObject;

    bool shown() const { return m_shown; }
    QString message() const { return m_message; }

    void show(const QString &message);
    // Closes the box; `acknowledged` follows even when it was not open, so
    // a screen's follow-up never depends on the order of two taps.
    Q_INVOKABLE void acknowledge();

signals:
    void changed();
    void acknowledged();

private:
    bool m_shown = false;
    QString m_message;
};

} // namespace orvelle
