#include "HomeView.h"

#include "session/User.h"

namespace orvelle {

HomeView::HomeView(User &appState, User &sharedUser, QObject *parent)
    : QObject(parent)
    , m_appState(appState)
    , m_welcomeText(QStringLiteral("尊敬的用户 : ") + sharedUser.username().value_or(QString()))
    , m_toastManager(this)
{}

void HomeView::set(bool &field, bool on)
{
    if (field == on)
        return;
    field = on;
    emit changed();
}

bool HomeView::guestRefused()
{
    if (!m_appState.isGuestMode())
        return false;
    m_alertMessage = QStringLiteral("游客模式不能使用");
    m_showAlert = true;
    emit changed();
    return true;
}

void HomeView::openTodayChecks()
{
    if (!guestRefused())
        setIsinLogin(true);
}

void HomeView::openOnSiteCheck()
{
    if (!guestRefused())
        setIsonLogin(true);
}

void HomeView::openHazardReport()
{
    setShowHazardForm(true);
}

void HomeView::openNotice()
{
    setIsScannerPresented(true);
}

void HomeView::codeScanned(const QString &code)
{
    m_selectedKey = code;
    m_shouldNavigate = true;
    m_isScannerPresented = false;
    emit changed();
}

void HomeView::acknowledgeAlert()
{
    set(m_showAlert, false);
}

void HomeView::appeared()
{
    set(m_isAnimating, true);
}

} // namespace orvelle
