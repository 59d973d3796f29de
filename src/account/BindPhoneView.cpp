#include "BindPhoneView.h"

#include "LoginView.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/Session.h"

namespace orvelle {

BindPhoneView::BindPhoneView(Session &session, ServiceClient &client, Scheduler &scheduler,
                             const QString &username, const QString &password, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_client(client)
    , m_countdown(scheduler, this)
    , m_username(username)
    , m_password(password)
{
    connect(&m_alert, &AlertState::acknowledged, this, &BindPhoneView::alertAcknowledged);
}

BindPhoneView::~BindPhoneView() = default;

LoginView *BindPhoneView::loginView() const
{
    return m_login.view();
}

void BindPhoneView::setShouldlogin(bool on)
{
    if (m_shouldlogin == on)
        return;
    m_shouldlogin = on;
    if (on && m_makeLogin)
        m_login.open([this] { return m_makeLogin(this); });
    else
        m_login.close();
    emit loginChanged();
}

void BindPhoneView::requestCode()
{
    if (!m_countdown.buttonEnabled())
        return;
    if (!LoginView::isMobileNumber(m_phoneNumber)) {
        m_alert.show(QStringLiteral("请输入正确的手机号"));
        return;
    }
    m_client.sendFormRequest(
        endpoints::form::verifyRegistCode, {{QStringLiteral("mobile"), m_phoneNumber}}, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &) {
            m_alert.show(QStringLiteral("发送验证码成功！"));
            m_countdown.start();
        },
        [this](qint64, const QString &message) { m_alert.show(message); });
}

void BindPhoneView::bind()
{
    // One at a time: codes are single-use, so a second request would be
    // refused and its message would replace the first one's answer.
    if (m_submitting)
        return;
    if (m_verificationCode.isEmpty()) {
        m_alert.show(QStringLiteral("请输入验证码"));
        return;
    }
    if (m_username.isEmpty()) {
        m_username = m_session.account().username().value_or(QString());
        m_password = m_session.account().password().value_or(QString());
    }
    const QJsonObject parameters{{QStringLiteral("code"), m_verificationCode},
                                 {QStringLiteral("password"), m_password},
                                 {QStringLiteral("username"), m_username},
                                 {QStringLiteral("mobile"), m_phoneNumber}};
    m_submitting = true;
    m_client.sendFormRequest(
        endpoints::form::tellNo, parameters, this,
        [this, phone = m_phoneNumber](const std::optional<QString> &msg, qint64,
                                      const QJsonObject &) {
            m_submitting = false;
            m_shouldNavigate = true;
            emit shouldNavigateChanged();
            m_session.phoneBound(phone);
            // A success without a text still needs words in the box.
            m_alert.show(msg.value_or(QStringLiteral("绑定成功")));
        },
        [this](qint64, const QString &message) {
            m_submitting = false;
            m_alert.show(message);
        });
}

void BindPhoneView::alertAcknowledged()
{
    if (!m_shouldNavigate)
        return;
    if (m_session.appState().isSignedIn()) {
        m_session.signOut();
    } else {
        setShouldlogin(true);
    }
}

} // namespace orvelle
