#pragma once

#include "core/AlertState.h"
#include "core/ChildScreen.h"
#include "core/ToastManager.h"
#include "hazard/SHazardDescriptorView.h"
#include "inspection/InspectionListView.h"
#include "inspection/OnInspectionListView.h"
#include "platform/QRCodeScannerView.h"
#include "platform/RiskAnnouncementWebView.h"
#include "store/DeviceStore.h"

#include <QAbstractItemModel>
#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>

namespace orvelle {

struct AppContext;
class BlankSheets;
class Outbox;
class OutboxEntries;
class Session;
class StandardPlaces;

// The home menu: four tiles, the guest restrictions, the notice scanner.
// Navigation flags are writable so the page clears them when it goes back.
class HomeView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by ContentView")
    Q_PROPERTY(QString welcomeText READ welcomeText CONSTANT)
    Q_PROPERTY(bool isAnimating READ isAnimating NOTIFY changed)
    Q_PROPERTY(
        bool isScannerPresented READ isScannerPresented WRITE setIsScannerPresented NOTIFY changed)
    Q_PROPERTY(orvelle::QRCodeScannerView *scanner READ scanner NOTIFY changed)
    Q_PROPERTY(QString selectedKey READ selectedKeyText NOTIFY changed)
    Q_PROPERTY(orvelle::RiskAnnouncementWebView *announcement READ announcement NOTIFY changed)
    Q_PROPERTY(bool shouldNavigate READ shouldNavigate WRITE setShouldNavigate NOTIFY changed)
    Q_PROPERTY(bool isinLogin READ isinLogin WRITE setIsinLogin NOTIFY changed)
    Q_PROPERTY(bool isonLogin READ isonLogin WRITE setIsonLogin NOTIFY changed)
    Q_PROPERTY(orvelle::InspectionListView *todayChecks READ todayChecks NOTIFY changed)
    Q_PROPERTY(orvelle::OnInspectionListView *onSiteCheck READ onSiteCheck NOTIFY changed)
    Q_PROPERTY(bool showHazardForm READ showHazardForm WRITE setShowHazardForm NOTIFY changed)
    Q_PROPERTY(orvelle::SHazardDescriptorView *hazardForm READ hazardForm NOTIFY changed)
    // Filed sheets and reports the service has not confirmed yet.
    Q_PROPERTY(int outboxCount READ outboxCount NOTIFY changed)
    Q_PROPERTY(QAbstractItemModel *outboxEntries READ outboxEntries NOTIFY changed)
    // The service ended the sign-in: nothing goes until the user signs in again.
    Q_PROPERTY(bool signInEnded READ signInEnded NOTIFY changed)
    // The outbox stopped because the device store could not be written.
    Q_PROPERTY(QString outboxProblem READ outboxProblem NOTIFY changed)
    // A question before an outbox action that loses something; "" when none.
    Q_PROPERTY(QString question READ question NOTIFY changed)
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
    int outboxCount() const;
    QAbstractItemModel *outboxEntries() const;
    bool signInEnded() const;
    QString outboxProblem() const;
    QString question() const { return m_question; }
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
    // "重试" of the outbox row.
    Q_INVOKABLE void retryOutbox();
    // "再次提交" of a report that may have arrived: the user says it did not.
    Q_INVOKABLE void resendOutboxEntry(qint64 id);
    // "删除" and "已提交" of an entry: asked first, done on `answer(true)`.
    Q_INVOKABLE void removeOutboxEntry(qint64 id);
    Q_INVOKABLE void confirmOutboxEntryDelivered(qint64 id);
    Q_INVOKABLE void answer(bool yes);
    // "编辑": the entry becomes its form's draft again; the hazard form opens
    // offering it, a sheet is offered at its check point.
    Q_INVOKABLE void editOutboxEntry(qint64 id);
    // "重新登录" once the service ended the sign-in: back to the sign-in
    // screen, keeping every draft and waiting entry.
    Q_INVOKABLE void signInAgain();

signals:
    void changed();

private:
    bool guestRefused();
    void startOutbox();
    // What a round without a network needs, kept on the device.
    BlankSheets *blankSheets();
    void keepPlaces();
    void tellStoreNotice();
    void ask(const QString &question, std::function<void()> onYes);
    std::optional<OutboxEntry> outboxEntry(qint64 id) const;
    void set(bool &field, bool on);

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
    AlertState m_alert;
    Outbox *m_outbox = nullptr;
    BlankSheets *m_blankSheets = nullptr;
    StandardPlaces *m_places = nullptr;
    OutboxEntries *m_outboxEntries = nullptr;
    QString m_question;
    std::function<void()> m_onYes;
};

} // namespace orvelle
