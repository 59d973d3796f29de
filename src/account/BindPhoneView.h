#pragma once

#include "CodeCountdown.h"
#include "core/AlertState.h"
#include "core/ChildScreen.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <functional>

Q_MOC_INCLUDE("account/LoginView.h")

namespace orvelle {

class LoginView;
class Scheduler;
class ServiceClient;
class Session;

// Binds a phone number to a Notes account with an SMS code. Reached from a
// refused sign-in (with the typed account and password) or from the settings
// (with neither, so the stored ones are used).
class BindPhoneView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the screen that opens it")
    Q_PROPERTY(QString phoneNumber MEMBER m_phoneNumber NOTIFY phoneNumberChanged)
    Q_PROPERTY(QString verificationCode MEMBER m_verificationCode NOTIFY verificationCodeChanged)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY shouldNavigateChanged)
    Q_PROPERTY(bool shouldlogin READ shouldlogin WRITE setShouldlogin NOTIFY loginChanged)
    Q_PROPERTY(orvelle::LoginView *loginView READ loginView NOTIFY loginChanged)
    Q_PROPERTY(CodeCountdown *countdown READ countdown CONSTANT)

public:
    // Makes the fresh sign-in screen pushed after a binding that came from a
    // refused sign-in.
    using LoginScreenFactory = std::function<LoginView *(QObject *parent)>;

    BindPhoneView(Session &session, ServiceClient &client, Scheduler &scheduler,
                  const QString &username, const QString &password, QObject *parent = nullptr);
    ~BindPhoneView() override;

    QString phoneNumber() const { return m_phoneNumber; }
    QString verificationCode() const { return m_verificationCode; }
    QString username() const { return m_username; }
    QString password() const { return m_password; }
    AlertState *alert() { return &m_alert; }
    bool shouldNavigate() const { return m_shouldNavigate; }
    bool shouldlogin() const { return m_shouldlogin; }
    void setShouldlogin(bool on);
    LoginView *loginView() const;
    void setLoginScreenFactory(LoginScreenFactory make) { m_makeLogin = std::move(make); }
    CodeCountdown *countdown() { return &m_countdown; }
    // Its page was closed; the view may live on while the page leaves.
    void screenLeft() { m_countdown.stop(); }

    // "获取验证码"
    Q_INVOKABLE void requestCode();
    // "绑定手机号"
    Q_INVOKABLE void bind();

signals:
    void phoneNumberChanged();
    void verificationCodeChanged();
    void shouldNavigateChanged();
    void loginChanged();

private:
    // "确定" of the message box.
    void alertAcknowledged();

    Session &m_session;
    ServiceClient &m_client;
    CodeCountdown m_countdown;
    QString m_phoneNumber;
    QString m_verificationCode;
    QString m_username;
    QString m_password;
    AlertState m_alert;
    bool m_submitting = false;
    bool m_shouldNavigate = false;
    bool m_shouldlogin = false;
    LoginScreenFactory m_makeLogin;
    ChildScreen<LoginView> m_login;
};

} // namespace orvelle
