#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// The question before a screen's unsent work is thrown away. Leaving asks
// while there is work; "放弃" lets the screen go, "继续填写" keeps it open.
class DiscardGuard : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the screen it guards")
    Q_PROPERTY(bool asking READ asking NOTIFY changed)
    Q_PROPERTY(QString question MEMBER m_question CONSTANT)

public:
    explicit DiscardGuard(const QString &question, QObject *parent = nullptr);

    bool asking() const { return m_asking; }

    // Lets the screen go at once when there is nothing to lose.
    void leave(bool workWouldBeLost);
    Q_INVOKABLE void discard();
    Q_INVOKABLE void keepEditing();

signals:
    void changed();
    // The screen may close now.
    void released();

private:
    void setAsking(bool on);

    QString m_question;
    bool m_asking = false;
};

} // namespace orvelle
