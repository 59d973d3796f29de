#include "SettingsView.h"

#include "core/Scheduler.h"
#include "outbox/Outbox.h"
#include "session/Session.h"
#include <orvelle/BuildInfo.h>

namespace orvelle {

SettingsView::SettingsView(Session &session, ServiceClient &client, OutboxSource outbox,
                           QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_client(client)
    , m_outbox(std::move(outbox))
    , m_accountText(session.account().mobile().value_or(QStringLiteral("游客")))
{
    connect(&m_session.appState(), &User::isGuestChanged, this,
            &SettingsView::accountRowsEnabledChanged);
}

QString SettingsView::versionText() const
{
    return QString::fromLatin1(build::marketingVersion);
}

bool SettingsView::accountRowsEnabled() const
{
    return !m_session.appState().isGuestMode();
}

void SettingsView::setShowChangePassword(bool on)
{
    if (m_changePassword.setOpen(on, [this] {
            return new ChangePasswordView(m_session, m_client, Scheduler::system(), this);
        }))
        emit navigationChanged();
}

void SettingsView::setShowBindPhone(bool on)
{
    // From the settings the stored account name and password are used.
    if (m_bindPhone.setOpen(on, [this] {
            return new BindPhoneView(m_session, m_client, Scheduler::system(), QString(), QString(),
                                     this);
        }))
        emit navigationChanged();
}

void SettingsView::openChangePassword()
{
    if (accountRowsEnabled())
        setShowChangePassword(true);
}

void SettingsView::openBindPhone()
{
    if (accountRowsEnabled())
        setShowBindPhone(true);
}

void SettingsView::signOut()
{
    const Outbox *outbox = m_outbox ? m_outbox() : nullptr;
    const int waiting = outbox ? outbox->waitingCount() : 0;
    if (waiting == 0)
        return confirmSignOut();
    // They stay on the device and go with this account's next sign-in.
    m_signOutQuestion =
        QStringLiteral("还有 %1 条记录未上传，登出后将在此账号再次登录时上传。确定登出？")
            .arg(waiting);
    emit signOutQuestionChanged();
}

void SettingsView::confirmSignOut()
{
    keepSignedIn();
    m_session.signOut();
}

void SettingsView::keepSignedIn()
{
    if (m_signOutQuestion.isEmpty())
        return;
    m_signOutQuestion.clear();
    emit signOutQuestionChanged();
}

} // namespace orvelle
