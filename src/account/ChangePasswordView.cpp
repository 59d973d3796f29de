#include "ChangePasswordView.h"

#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "session/Session.h"

#include <QTextBoundaryFinder>

namespace orvelle {

ChangePasswordView::ChangePasswordView(Session &session, ServiceClient &client,
                                       Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_client(client)
    , m_countdown(scheduler, this)
{
    connect(&m_alert, &AlertState::acknowledged, this, &ChangePasswordView::alertAcknowledged);
}

QString ChangePasswordView::mobileText() const
{
    return m_session.account().mobile().value_or(QString());
}

void ChangePasswordView::setShouldNavigate(bool on)
{
    if (m_shouldNavigate == on)
        return;
    m_shouldNavigate = on;
    emit shouldNavigateChanged();
}

int ChangePasswordView::perceivedLength(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

void ChangePasswordView::requestCode()
{
    if (!m_countdown.buttonEnabled())
        return;
    // The common parameters name the account; its stored phone gets the code.
    m_client.sendFormRequest(
        endpoints::form::verifyRegistReCode, {}, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &) {
            m_countdown.start();
            m_alert.show(QStringLiteral("发送验证码成功！"));
        },
        [this](qint64, const QString &message) { m_alert.show(message); });
}

QString ChangePasswordView::firstProblem() const
{
    if (m_verificationCode.isEmpty())
        return QStringLiteral("请输入验证码");
    if (m_newpassword.isEmpty())
        return QStringLiteral("请输入新密码");
    if (m_centerpassword.isEmpty())
        return QStringLiteral("请再次输入新密码");
    if (m_newpassword != m_centerpassword)
        return QStringLiteral("两次输入密码不一致，请重新输入密码");
    if (perceivedLength(m_newpassword) < minimumPasswordLength)
        return QStringLiteral("请输入新密码且密码长度不能小于6位");
    return {};
}

void ChangePasswordView::change()
{
    // One at a time: codes are single-use, so a second request would be
    // refused and its message would replace the first one's answer.
    if (m_submitting)
        return;
    if (const QString problem = firstProblem(); !problem.isEmpty()) {
        m_alert.show(problem);
        return;
    }
    const QJsonObject parameters{
        {QStringLiteral("code"), m_verificationCode},
        {QStringLiteral("mobile"), m_session.account().mobile().value_or(QString())},
        {QStringLiteral("repassword"), m_newpassword},
        {QStringLiteral("name"), m_session.account().username().value_or(QString())}};
    m_submitting = true;
    m_client.sendFormRequest(
        endpoints::form::changePassword, parameters, this,
        [this](const std::optional<QString> &, qint64, const QJsonObject &) {
            m_submitting = false;
            setShouldNavigate(true);
            m_alert.show(QStringLiteral("修改密码成功,请等5分钟之后登录，否则引起账号锁定"));
        },
        [this](qint64, const QString &message) {
            m_submitting = false;
            m_alert.show(message);
        });
}

void ChangePasswordView::alertAcknowledged()
{
    if (!m_shouldNavigate)
        return;
    setShouldNavigate(false);
    m_session.signOut();
}

} // namespace orvelle
