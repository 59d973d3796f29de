#include "LoginView.h"

#include "VersionChecker.h"
#include "core/Scheduler.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/Session.h"

#include <QRegularExpression>

namespace orvelle {

namespace {
const QString unboundPhoneText = QStringLiteral("此账号未绑定手机号，请绑定手机号");
const QString passwordMismatchText = QStringLiteral("Notes与APP密码不一致，请前往修改密码");
} // namespace

LoginView::LoginView(Session &session, ServiceClient &client, VersionChecker &versionChecker,
                     const QUrl &siteUrl, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_client(client)
    , m_versionChecker(versionChecker)
    , m_siteUrl(siteUrl)
    , m_toastManager(this)
{
    connect(&m_alert, &AlertState::acknowledged, this, &LoginView::alertAcknowledged);
}

bool LoginView::isMobileNumber(const QString &text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("^1[0-9]{10}$")));
    return pattern.match(text).hasMatch();
}

QString LoginView::signInPath(const QString &phoneNumber)
{
    return isMobileNumber(phoneNumber) ? QString(endpoints::form::mobileLogin)
                                       : QString(endpoints::form::notesLogin);
}

void LoginView::setShouldNavigatemobile(bool on)
{
    if (m_bindPhone.setOpen(on, [this] {
            auto *bindPhone = new BindPhoneView(m_session, m_client, Scheduler::system(),
                                                m_phoneNumber, m_password, this);
            // After the binding the user signs in again on a fresh screen.
            bindPhone->setLoginScreenFactory([this](QObject *parent) {
                return new LoginView(m_session, m_client, m_versionChecker, m_siteUrl, parent);
            });
            return bindPhone;
        }))
        emit navigationChanged();
}

void LoginView::setShowWebView(bool on)
{
    if (m_webSite.setOpen(on, [this] { return new WebView(m_siteUrl, this); }))
        emit showWebViewChanged();
}

void LoginView::signIn()
{
    if (m_signingIn)
        return;
    if (m_phoneNumber.isEmpty()) {
        m_toastManager.show(QStringLiteral("手机号不能为空"));
        return;
    }
    if (m_password.isEmpty()) {
        m_toastManager.show(QStringLiteral("密码不能为空"));
        return;
    }
    // Sent as typed: nothing trims or alters the texts. Every answer, the
    // client's time-out and a lost connection included, ends the wait before
    // it is acted on: a sign-in that succeeds removes this screen.
    const QJsonObject parameters{{QStringLiteral("mobile"), m_phoneNumber},
                                 {QStringLiteral("password"), m_password}};
    setSigningIn(true);
    m_client.sendFormRequest(
        signInPath(m_phoneNumber), parameters, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &json) {
            setSigningIn(false);
            m_session.signIn(json, [this](int, const QString &message) { handleFailure(message); });
        },
        [this](qint64, const QString &message) {
            setSigningIn(false);
            handleFailure(message);
        });
}

void LoginView::setSigningIn(bool on)
{
    if (m_signingIn == on)
        return;
    m_signingIn = on;
    emit signingInChanged();
}

void LoginView::appeared()
{
    m_versionChecker.check();
}

void LoginView::forgotPassword()
{
    handleFailure(QStringLiteral("请填写资讯服务申请单申请重置密码"));
}

void LoginView::handleFailure(const QString &message)
{
    bool navigation = false;
    if (message.contains(unboundPhoneText)) {
        m_shouldNavigate = true;
        navigation = true;
    }
    if (message.contains(passwordMismatchText)) {
        m_shouldNavigatepass = true;
        navigation = true;
    }
    if (navigation)
        emit navigationChanged();
    m_alert.show(message);
}

void LoginView::alertAcknowledged()
{
    // The refusal flags are used up here, so a later message box (the
    // forgotten-password hint) does not push the binding screen again.
    if (m_shouldNavigate) {
        m_shouldNavigate = false;
        setShouldNavigatemobile(true);
    }
    if (m_shouldNavigatepass) {
        m_shouldNavigatepass = false;
        m_shouldNavigatepassword = true;
        emit navigationChanged();
    }
}

void LoginView::openWebSite()
{
    if (m_siteUrl.isValid() && !m_siteUrl.isEmpty())
        setShowWebView(true);
}

void LoginView::enterGuestMode()
{
    m_session.enterGuest();
}

void LoginView::setWaitingEntries(int count)
{
    const QString text =
        count > 0
            ? QStringLiteral("本机有 %1 条待上传记录，提交它们的账号登录后自动上传。").arg(count)
            : QString();
    if (text == m_waitingWorkText)
        return;
    m_waitingWorkText = text;
    emit waitingWorkChanged();
}

} // namespace orvelle
