#include "SettingsView.h"

#include "session/User.h"
#include <orvelle/BuildInfo.h>

namespace orvelle {

SettingsView::SettingsView(User &appState, User &sharedUser, QObject *parent)
    : QObject(parent)
    , m_appState(appState)
    , m_accountText(sharedUser.mobile().value_or(QStringLiteral("游客")))
{
    connect(&m_appState, &User::isGuestChanged, this, &SettingsView::accountRowsEnabledChanged);
}

QString SettingsView::versionText() const
{
    return QString::fromLatin1(build::marketingVersion);
}

bool SettingsView::accountRowsEnabled() const
{
    return !m_appState.isGuestMode();
}

void SettingsView::setShowChangePassword(bool on)
{
    if (m_showChangePassword == on)
        return;
    m_showChangePassword = on;
    emit navigationChanged();
}

void SettingsView::setShowBindPhone(bool on)
{
    if (m_showBindPhone == on)
        return;
    m_showBindPhone = on;
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
    m_appState.setIslogin(QStringLiteral("false"));
    m_appState.setIsGuest(QStringLiteral("false"));
}

} // namespace orvelle
