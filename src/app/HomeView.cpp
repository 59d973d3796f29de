#include "HomeView.h"

#include "AccountWork.h"
#include "AppContext.h"
#include "outbox/FormFiling.h"
#include "session/Session.h"

namespace orvelle {

HomeView::HomeView(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_session(*context.session)
    , m_welcomeText(QStringLiteral("尊敬的用户 : ")
                    + context.session->account().username().value_or(QString()))
    , m_toastManager(this)
    , m_outbox(*context.accountWork, *context.session, this)
{
    // The store has just been opened: what it says is said here.
    connect(context.accountWork.get(), &AccountWork::started, this, &HomeView::tellStoreNotice);
    connect(&m_outbox, &OutboxView::reportToEdit, this, [this] { setShowHazardForm(true); });
}

bool HomeView::guestRefused()
{
    if (!m_session.appState().isGuestMode())
        return false;
    m_alert.show(QStringLiteral("游客模式不能使用"));
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

void HomeView::setIsScannerPresented(bool on)
{
    if (m_scanner.setOpen(on, [this] {
            auto *scanner = new QRCodeScannerView(*m_context.platform.cameras,
                                                  *m_context.platform.beeper, this);
            connect(scanner, &QRCodeScannerView::didFindCode, this, &HomeView::codeScanned);
            return scanner;
        }))
        emit scannerChanged();
}

void HomeView::setIsinLogin(bool on)
{
    if (m_todayChecks.setOpen(on, [this] {
            auto *list = new InspectionListView(*m_context.serviceClient, m_context.config,
                                                m_session.account(), *m_context.platform.cameras,
                                                *m_context.platform.beeper, this);
            list->setBlankSheets(m_context.accountWork->blankSheets());
            return list;
        }))
        emit todayChecksChanged();
}

void HomeView::setIsonLogin(bool on)
{
    if (m_onSiteCheck.setOpen(on, [this] {
            auto *list = new OnInspectionListView(m_context.formServices(), m_context.config,
                                                  *m_context.platform.beeper, this);
            list->setBlankSheets(m_context.accountWork->blankSheets());
            return list;
        }))
        emit onSiteCheckChanged();
}

void HomeView::setShowHazardForm(bool on)
{
    if (m_hazardForm.setOpen(on, [this] {
            auto *form = new SHazardDescriptorView(m_context.formServices(), this);
            // After a report, or once the user chose to leave.
            connect(form, &SHazardDescriptorView::closeRequested, this,
                    [this] { setShowHazardForm(false); });
            return form;
        }))
        emit hazardFormChanged();
}

void HomeView::setShouldNavigate(bool on)
{
    if (m_announcement.setOpen(on, [this] {
            return new RiskAnnouncementWebView(m_selectedKey, m_context.config.noticeHosts, this);
        }))
        emit announcementChanged();
}

void HomeView::codeScanned(const QString &code)
{
    // The camera keeps reporting while the code stays in view.
    if (!isScannerPresented())
        return;
    m_selectedKey = code;
    // One step at a time, so the page stack drops the scanner before the
    // notice page goes on top of it.
    setIsScannerPresented(false);
    m_announcement.close();
    setShouldNavigate(true);
}

void HomeView::appeared()
{
    if (!m_isAnimating) {
        m_isAnimating = true;
        emit isAnimatingChanged();
    }
    m_context.accountWork->refreshPlaces();
    // A form may have opened the store meanwhile.
    tellStoreNotice();
}

void HomeView::tellStoreNotice()
{
    if (const QString notice = m_context.takeStoreNotice(); !notice.isEmpty())
        m_alert.show(notice);
}

} // namespace orvelle
