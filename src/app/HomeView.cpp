#include "HomeView.h"

#include "AppContext.h"
#include "hazard/StandardPlaces.h"
#include "inspection/BlankSheets.h"
#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "outbox/OutboxEntries.h"
#include "session/Session.h"

namespace orvelle {

HomeView::HomeView(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
    , m_session(*context.session)
    , m_welcomeText(QStringLiteral("尊敬的用户 : ")
                    + context.session->account().username().value_or(QString()))
    , m_toastManager(this)
{
    connect(&m_session, &Session::stateChanged, this, &HomeView::changed);
}

void HomeView::set(bool &field, bool on)
{
    if (field == on)
        return;
    field = on;
    emit changed();
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
    if (isScannerPresented() == on)
        return;
    if (on) {
        auto *scanner = m_scanner.open([this] {
            return new QRCodeScannerView(*m_context.platform.cameras, *m_context.platform.beeper,
                                         this);
        });
        connect(scanner, &QRCodeScannerView::didFindCode, this, &HomeView::codeScanned);
    } else {
        m_scanner.close();
    }
    emit changed();
}

void HomeView::setIsinLogin(bool on)
{
    if (isinLogin() == on)
        return;
    if (on) {
        m_todayChecks
            .open([this] {
                return new InspectionListView(*m_context.serviceClient, m_context.config,
                                              m_session.account(), *m_context.platform.cameras,
                                              *m_context.platform.beeper, this);
            })
            ->setBlankSheets(blankSheets());
    } else {
        m_todayChecks.close();
    }
    emit changed();
}

void HomeView::setIsonLogin(bool on)
{
    if (isonLogin() == on)
        return;
    if (on) {
        m_onSiteCheck
            .open([this] {
                return new OnInspectionListView(m_context.formServices(), m_context.config,
                                                *m_context.platform.beeper, this);
            })
            ->setBlankSheets(blankSheets());
    } else {
        m_onSiteCheck.close();
    }
    emit changed();
}

void HomeView::setShowHazardForm(bool on)
{
    if (showHazardForm() == on)
        return;
    if (on) {
        auto *form = m_hazardForm.open(
            [this] { return new SHazardDescriptorView(m_context.formServices(), this); });
        // After a report, or once the user chose to leave.
        connect(form, &SHazardDescriptorView::closeRequested, this,
                [this] { setShowHazardForm(false); });
    } else {
        m_hazardForm.close();
    }
    emit changed();
}

void HomeView::setShouldNavigate(bool on)
{
    if (shouldNavigate() == on)
        return;
    if (on)
        m_announcement.open([this] {
            return new RiskAnnouncementWebView(m_selectedKey, m_context.config.noticeHosts, this);
        });
    else
        m_announcement.close();
    emit changed();
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
    set(m_isAnimating, true);
    // After the first frame: opening the store is not on its way.
    if (!m_session.appState().isGuestMode())
        m_context.firstFrame.whenOpen(this, [this] {
            startOutbox();
            keepPlaces();
        });
    // A form may have opened the store meanwhile.
    tellStoreNotice();
}

void HomeView::tellStoreNotice()
{
    if (const QString notice = m_context.takeStoreNotice(); !notice.isEmpty())
        m_alert.show(notice);
}

void HomeView::startOutbox()
{
    if (m_outbox)
        return;
    m_outbox = m_context.outbox();
    tellStoreNotice();
    if (!m_outbox)
        return;
    m_outboxEntries = new OutboxEntries(*m_outbox, this);
    connect(m_outbox, &Outbox::changed, this, &HomeView::changed);
    m_outbox->start();
    emit changed();
}

BlankSheets *HomeView::blankSheets()
{
    // Kept here, not by a list: the sheets keep coming after the list is left.
    if (!m_blankSheets)
        m_blankSheets = new BlankSheets(*m_context.serviceClient, m_context.config.notesServer,
                                        m_context.deviceStore(),
                                        m_session.account().storeKey(), this);
    return m_blankSheets;
}

void HomeView::keepPlaces()
{
    // At each sign-in, then whenever home shows and the kept list is a day old:
    // a report filed underground needs its place.
    if (m_places)
        return m_places->loadIfOlderThan(std::chrono::hours(24));
    m_places = new StandardPlaces(*m_context.serviceClient, m_context.config.notesServer,
                                  m_context.deviceStore(),
                                  m_session.account().storeKey(), this);
    m_places->load();
}

int HomeView::outboxCount() const
{
    return m_outbox ? m_outbox->waitingCount() : 0;
}

QAbstractItemModel *HomeView::outboxEntries() const
{
    return m_outboxEntries;
}

void HomeView::resendOutboxEntry(qint64 id)
{
    if (m_outbox)
        m_outbox->resend(id);
}

void HomeView::retryOutbox()
{
    if (m_outbox)
        m_outbox->retry();
}

QString HomeView::outboxProblem() const
{
    return m_outbox ? m_outbox->problem() : QString();
}

std::optional<OutboxEntry> HomeView::outboxEntry(qint64 id) const
{
    if (m_outbox)
        for (const OutboxEntry &entry : m_outbox->entries())
            if (entry.id == id)
                return entry;
    return std::nullopt;
}

void HomeView::ask(const QString &question, std::function<void()> onYes)
{
    m_question = question;
    m_onYes = std::move(onYes);
    emit changed();
}

void HomeView::answer(bool yes)
{
    if (m_question.isEmpty())
        return;
    const auto onYes = std::exchange(m_onYes, {});
    m_question.clear();
    emit changed();
    if (yes && onYes)
        onYes();
}

void HomeView::removeOutboxEntry(qint64 id)
{
    const auto entry = outboxEntry(id);
    if (!entry || !m_outbox->canRemove(*entry))
        return;
    const QString maybe = entry->state == OutboxState::MaybeDelivered
                              ? QStringLiteral("它可能已经提交；")
                              : QString();
    ask(QStringLiteral("确定删除“%1”吗？%2删除后不会再上传，照片也一并删除。")
            .arg(entry->title, maybe),
        [this, id] { m_outbox->remove(id); });
}

void HomeView::confirmOutboxEntryDelivered(qint64 id)
{
    const auto entry = outboxEntry(id);
    if (!entry || !m_outbox->canConfirm(*entry))
        return;
    ask(QStringLiteral("确认“%1”已经提交成功了吗？确认后它从待上传中移除，不再上传。")
            .arg(entry->title),
        [this, id] { m_outbox->confirmDelivered(id); });
}

void HomeView::editOutboxEntry(qint64 id)
{
    const auto entry = outboxEntry(id);
    if (!entry || !m_outbox->canEdit(*entry))
        return;
    if (!m_outbox->edit(id))
        return m_alert.show(
            QStringLiteral("“%1”的表单还有一份未提交的草稿，请先提交或放弃它，再编辑这一条。")
                .arg(entry->title));
    if (entry->kind == QLatin1String("hazard"))
        return setShowHazardForm(true);
    m_alert.show(
        QStringLiteral("“%1”已转为草稿：请在“现场检查”中打开该检查点，拍照后选择“继续填写”。")
            .arg(entry->title));
}

bool HomeView::signInEnded() const
{
    return m_session.state() == Session::State::Ended;
}

void HomeView::signInAgain()
{
    // What waits stays with this account and goes at its next sign-in.
    if (signInEnded())
        m_session.signOut();
}

} // namespace orvelle
