#pragma once

#include "account/BindPhoneView.h"
#include "account/ChangePasswordView.h"
#include "core/ChildScreen.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <functional>

namespace orvelle {

class Outbox;
class ServiceClient;
class Session;

// The settings tab: the account, the two account screens, the version, sign-out.
class SettingsView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by ContentView")
    Q_PROPERTY(QString accountText READ accountText CONSTANT)
    Q_PROPERTY(QString versionText READ versionText CONSTANT)
    Q_PROPERTY(bool accountRowsEnabled READ accountRowsEnabled NOTIFY accountRowsEnabledChanged)
    Q_PROPERTY(bool showChangePassword READ showChangePassword WRITE setShowChangePassword NOTIFY
                   navigationChanged)
    Q_PROPERTY(
        bool showBindPhone READ showBindPhone WRITE setShowBindPhone NOTIFY navigationChanged)
    Q_PROPERTY(
        ChangePasswordView *changePasswordView READ changePasswordView NOTIFY navigationChanged)
    Q_PROPERTY(BindPhoneView *bindPhoneView READ bindPhoneView NOTIFY navigationChanged)
    Q_PROPERTY(QString changePasswordTitle READ changePasswordTitle CONSTANT)
    Q_PROPERTY(QString bindPhoneTitle READ bindPhoneTitle CONSTANT)
    // Not empty while sign-out waits for the user's word on unsent work.
    Q_PROPERTY(QString signOutQuestion READ signOutQuestion NOTIFY signOutQuestionChanged)

public:
    // Asked at sign-out only, so opening the device store stays off start-up;
    // without one (null) nothing waits to be asked about.
    using OutboxSource = std::function<Outbox *()>;
    SettingsView(Session &session, ServiceClient &client, OutboxSource outbox = {},
                 QObject *parent = nullptr);

    QString accountText() const { return m_accountText; }
    QString versionText() const;
    bool accountRowsEnabled() const;
    // Each opening makes a fresh screen; it goes when the flag falls.
    ChangePasswordView *changePasswordView() const { return m_changePassword.view(); }
    BindPhoneView *bindPhoneView() const { return m_bindPhone.view(); }
    bool showChangePassword() const { return m_changePassword.isOpen(); }
    void setShowChangePassword(bool on);
    bool showBindPhone() const { return m_bindPhone.isOpen(); }
    void setShowBindPhone(bool on);
    QString changePasswordTitle() const { return QStringLiteral("修改密码"); }
    QString bindPhoneTitle() const { return QStringLiteral("创建新账号"); }

    Q_INVOKABLE void openChangePassword();
    Q_INVOKABLE void openBindPhone();
    QString signOutQuestion() const { return m_signOutQuestion; }

    // "登出": the sign-in flags only; the account record stays. With entries
    // waiting in the outbox it asks first.
    Q_INVOKABLE void signOut();
    Q_INVOKABLE void confirmSignOut();
    Q_INVOKABLE void keepSignedIn();

signals:
    void accountRowsEnabledChanged();
    void navigationChanged();
    void signOutQuestionChanged();

private:
    Session &m_session;
    ServiceClient &m_client;
    OutboxSource m_outbox;
    ChildScreen<ChangePasswordView> m_changePassword;
    ChildScreen<BindPhoneView> m_bindPhone;
    QString m_accountText;
    QString m_signOutQuestion;
};

} // namespace orvelle
