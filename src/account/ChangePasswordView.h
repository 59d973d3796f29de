#pragma once

#include "CodeCountdown.h"
#include "core/AlertState.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

class Scheduler;
class ServiceClient;
class Session;

// Sets a new password with an SMS code sent to the account's stored phone;
// a successful change signs the user out.
class ChangePasswordView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the settings screen")
    Q_PROPERTY(QString mobileText READ mobileText CONSTANT)
    Q_PROPERTY(QString verificationCode MEMBER m_verificationCode NOTIFY verificationCodeChanged)
    Q_PROPERTY(QString newpassword MEMBER m_newpassword NOTIFY newpasswordChanged)
    Q_PROPERTY(QString centerpassword MEMBER m_centerpassword NOTIFY centerpasswordChanged)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY shouldNavigateChanged)
    Q_PROPERTY(CodeCountdown *countdown READ countdown CONSTANT)

public:
    static constexpr int minimumPasswordLength = 6;

    ChangePasswordView(Session &session, ServiceClient &client, Scheduler &scheduler,
                       QObject *parent = nullptr);

    QString mobileText() const;
    QString verificationCode() const { return m_verificationCode; }
    QString newpassword() const { return m_newpassword; }
    QString centerpassword() const { return m_centerpassword; }
    AlertState *alert() { return &m_alert; }
    bool shouldNavigate() const { return m_shouldNavigate; }
    CodeCountdown *countdown() { return &m_countdown; }
    // Its page was closed; the view may live on while the page leaves.
    void screenLeft() { m_countdown.stop(); }

    // Characters as a reader counts them, not code units or bytes.
    static int perceivedLength(const QString &text);

    // "获取验证码"
    Q_INVOKABLE void requestCode();
    // "修改"
    Q_INVOKABLE void change();

signals:
    void verificationCodeChanged();
    void newpasswordChanged();
    void centerpasswordChanged();
    void shouldNavigateChanged();

private:
    // "确定" of the message box.
    void alertAcknowledged();
    QString firstProblem() const;
    void setShouldNavigate(bool on);

    Session &m_session;
    ServiceClient &m_client;
    CodeCountdown m_countdown;
    QString m_verificationCode;
    QString m_newpassword;
    QString m_centerpassword;
    AlertState m_alert;
    bool m_submitting = false;
    bool m_shouldNavigate = false;
};

} // namespace orvelle
