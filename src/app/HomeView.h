#pragma once

#include "OutboxView.h"
#include "core/AlertState.h"
#include "core/ChildScreen.h"
#include "core/ToastManager.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/InspectionListView.h"
#include "inspection/OnInspectionListView.h"
#include "platform/QRCodeScannerView.h"
#include "platform/RiskAnnouncementWebView.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

struct AppContext;
class Session;

// The home menu: four tiles, the guest restrictions, the notice scanner, and
// the row of what waits in the outbox. Navigation flags are writable so the
// page clears them when it goes back.
class HomeView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by ContentView")
    Q_PROPERTY(QString welcomeText READ welcomeText CONSTANT)
    Q_PROPERTY(bool isAnimating MEMBER m_isAnimating NOTIFY isAnimatingChanged)
    Q_PROPERTY(bool isScannerPresented READ isScannerPresented WRITE setIsScannerPresented NOTIFY
                   scannerChanged)
    Q_PROPERTY(orvelle::QRCodeScannerView *scanner READ scanner NOTIFY scannerChanged)
    Q_PROPERTY(QString selectedKey READ selectedKeyText NOTIFY announcementChanged)
    Q_PROPERTY(
        bool shouldNavigate READ shouldNavigate WRITE setShouldNavigate NOTIFY announcementChanged)
    Q_PROPERTY(
        orvelle::RiskAnnouncementWebView *announcement READ announcement NOTIFY announcementChanged)
    Q_PROPERTY(bool isinLogin READ isinLogin WRITE setIsinLogin NOTIFY todayChecksChanged)
    Q_PROPERTY(orvelle::InspectionListView *todayChecks READ todayChecks NOTIFY todayChecksChanged)
    Q_PROPERTY(bool isonLogin READ isonLogin WRITE setIsonLogin NOTIFY onSiteCheckChanged)
    Q_PROPERTY(
        orvelle::OnInspectionListView *onSiteCheck READ onSiteCheck NOTIFY onSiteCheckChanged)
    Q_PROPERTY(
        bool showHazardForm READ showHazardForm WRITE setShowHazardForm NOTIFY hazardFormChanged)
    Q_PROPERTY(orvelle::SHazardDescriptorView *hazardForm READ hazardForm NOTIFY hazardFormChanged)
    Q_PROPERTY(bool showOutbox MEMBER m_showOutbox NOTIFY showOutboxChanged)
    Q_PROPERTY(orvelle::OutboxView *outbox READ outbox CONSTANT)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(ToastManager *toastManager READ toastManager CONSTANT)

public:
    explicit HomeView(AppContext &context, QObject *parent = nullptr);

    QString welcomeText() const { return m_welcomeText; }
    bool isAnimating() const { return m_isAnimating; }
    bool isScannerPresented() const { return m_scanner.isOpen(); }
    void setIsScannerPresented(bool on);
    QRCodeScannerView *scanner() const { return m_scanner.view(); }
    std::optional<QString> selectedKey() const { return m_selectedKey; }
    QString selectedKeyText() const { return m_selectedKey.value_or(QString()); }
    bool shouldNavigate() const { return m_announcement.isOpen(); }
    void setShouldNavigate(bool on);
    RiskAnnouncementWebView *announcement() const { return m_announcement.view(); }
    bool isinLogin() const { return m_todayChecks.isOpen(); }
    void setIsinLogin(bool on);
    InspectionListView *todayChecks() const { return m_todayChecks.view(); }
    bool isonLogin() const { return m_onSiteCheck.isOpen(); }
    void setIsonLogin(bool on);
    OnInspectionListView *onSiteCheck() const { return m_onSiteCheck.view(); }
    bool showHazardForm() const { return m_hazardForm.isOpen(); }
    void setShowHazardForm(bool on);
    SHazardDescriptorView *hazardForm() const { return m_hazardForm.view(); }
    bool showOutbox() const { return m_showOutbox; }
    OutboxView *outbox() { return &m_outbox; }
    AlertState *alert() { return &m_alert; }
    ToastManager *toastManager() { return &m_toastManager; }

    // The tiles.
    Q_INVOKABLE void openTodayChecks();
    Q_INVOKABLE void openOnSiteCheck();
    Q_INVOKABLE void openHazardReport();
    Q_INVOKABLE void openNotice();
    // The scanner reported a code: close it and open the notice page. Codes
    // that arrive once the scanner was closed are ignored.
    Q_INVOKABLE void codeScanned(const QString &code);
    Q_INVOKABLE void appeared();

signals:
    void isAnimatingChanged();
    void scannerChanged();
    void announcementChanged();
    void todayChecksChanged();
    void onSiteCheckChanged();
    void hazardFormChanged();
    void showOutboxChanged();

private:
    bool guestRefused();
    // What the user must hear about the device store, once.
    void tellStoreNotice();

    AppContext &m_context;
    Session &m_session;
    QString m_welcomeText;
    ToastManager m_toastManager;
    bool m_isAnimating = false;
    ChildScreen<QRCodeScannerView> m_scanner;
    std::optional<QString> m_selectedKey;
    ChildScreen<RiskAnnouncementWebView> m_announcement;
    ChildScreen<InspectionListView> m_todayChecks;
    ChildScreen<OnInspectionListView> m_onSiteCheck;
    ChildScreen<SHazardDescriptorView> m_hazardForm;
    bool m_showOutbox = false;
    OutboxView m_outbox;
    AlertState m_alert;
};

} // namespace orvelle
