#pragma once

#include "BindPhoneView.h"
#include "VersionChecker.h"
#include "core/AlertState.h"
#include "core/ChildScreen.h"
#include "core/ToastManager.h"
#include "platform/WebView.h"

#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

class ServiceClient;
class Session;

// The sign-in screen: typed phone number (or Notes account) and password,
// guest entry, the forgotten-password hint and the group web site.
class LoginView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by RootView")
    Q_PROPERTY(ToastManager *toastManager READ toastManager CONSTANT)
    Q_PROPERTY(VersionChecker *versionChecker READ versionChecker CONSTANT)
    Q_PROPERTY(QString phoneNumber MEMBER m_phoneNumber NOTIFY phoneNumberChanged)
    Q_PROPERTY(QString password MEMBER m_password NOTIFY passwordChanged)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate NOTIFY navigationChanged)
    Q_PROPERTY(bool shouldNavigatemobile READ shouldNavigatemobile WRITE setShouldNavigatemobile
                   NOTIFY navigationChanged)
    Q_PROPERTY(orvelle::BindPhoneView *bindPhoneView READ bindPhoneView NOTIFY navigationChanged)
    Q_PROPERTY(bool shouldNavigatepass READ shouldNavigatepass NOTIFY navigationChanged)
    Q_PROPERTY(bool shouldNavigatepassword READ shouldNavigatepassword NOTIFY navigationChanged)
    Q_PROPERTY(bool showWebView READ showWebView WRITE setShowWebView NOTIFY showWebViewChanged)
    Q_PROPERTY(QUrl siteUrl READ siteUrl CONSTANT)
    Q_PROPERTY(orvelle::WebView *webView READ webView NOTIFY showWebViewChanged)
    // Said while filed work waits on this device for its account to sign in.
    Q_PROPERTY(QString waitingWorkText READ waitingWorkText NOTIFY waitingWorkChanged)
    Q_PROPERTY(Field focusedField MEMBER m_focusedField NOTIFY focusedFieldChanged)
    // From "登入" until the answer: no second sign-in goes meanwhile.
    Q_PROPERTY(bool signingIn READ signingIn NOTIFY signingInChanged)

public:
    enum class Field { None, PhoneNumber, Password };
    Q_ENUM(Field)

    LoginView(Session &session, ServiceClient &client, VersionChecker &versionChecker,
              const QUrl &siteUrl, QObject *parent = nullptr);

    // "^1[0-9]{10}$" over the whole text: such a text signs in by phone.
    static bool isMobileNumber(const QString &text);
    static QString signInPath(const QString &phoneNumber);

    ToastManager *toastManager() { return &m_toastManager; }
    VersionChecker *versionChecker() const { return &m_versionChecker; }
    QString phoneNumber() const { return m_phoneNumber; }
    QString password() const { return m_password; }
    AlertState *alert() { return &m_alert; }
    bool shouldNavigate() const { return m_shouldNavigate; }
    bool shouldNavigatemobile() const { return m_bindPhone.isOpen(); }
    // Made with the typed account and password each time it is pushed.
    BindPhoneView *bindPhoneView() const { return m_bindPhone.view(); }
    void setShouldNavigatemobile(bool on);
    bool shouldNavigatepass() const { return m_shouldNavigatepass; }
    bool shouldNavigatepassword() const { return m_shouldNavigatepassword; }
    bool showWebView() const { return m_webSite.isOpen(); }
    WebView *webView() const { return m_webSite.view(); }
    void setShowWebView(bool on);
    QUrl siteUrl() const { return m_siteUrl; }
    Field focusedField() const { return m_focusedField; }
    QString waitingWorkText() const { return m_waitingWorkText; }
    bool signingIn() const { return m_signingIn; }
    // Entries of any account not yet delivered: they go once their own
    // account signs in, never with another's.
    void setWaitingEntries(int count);

    // "登入": the empty-field checks, then the sign-in request; nothing
    // while one is under way.
    Q_INVOKABLE void signIn();
    // "忘记密码"
    Q_INVOKABLE void forgotPassword();
    // "岚石集团官网"
    Q_INVOKABLE void openWebSite();
    // "游客访问"
    Q_INVOKABLE void enterGuestMode();
    // Each time the screen is shown: the version check runs.
    Q_INVOKABLE void appeared();

    // A refusal or failure of the sign-in, by its message text.
    void handleFailure(const QString &message);

signals:
    void phoneNumberChanged();
    void passwordChanged();
    void navigationChanged();
    void showWebViewChanged();
    void focusedFieldChanged();
    void waitingWorkChanged();
    void signingInChanged();

private:
    // "确定" of the message box: a refusal's navigation happens here.
    void alertAcknowledged();
    void setSigningIn(bool on);

    Session &m_session;
    ServiceClient &m_client;
    VersionChecker &m_versionChecker;
    QUrl m_siteUrl;
    ToastManager m_toastManager;
    QString m_phoneNumber;
    QString m_password;
    AlertState m_alert;
    bool m_shouldNavigate = false;
    ChildScreen<BindPhoneView> m_bindPhone;
    bool m_shouldNavigatepass = false;
    bool m_shouldNavigatepassword = false;
    ChildScreen<WebView> m_webSite;
    Field m_focusedField = Field::None;
    QString m_waitingWorkText;
    bool m_signingIn = false;
};

} // namespace orvelle
