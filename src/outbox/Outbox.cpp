#include "Outbox.h"

#include "core/Logging.h"
#include "core/Scheduler.h"
#include "outbox/SheetDeliveryCheck.h"
#include "session/Session.h"

#include <QPointer>
#include <algorithm>

namespace orvelle {

Outbox::Outbox(FilingServices services, Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_scheduler(scheduler)
{
    Session &session = services.session;
    // Signed out, the last account's entries are still its own to show.
    if (session.state() != Session::State::Guest)
        m_account = session.account().storeKey();
    takeOlderWork();
    // Photos an earlier run left without a draft or an entry, a guest's too.
    m_services.store.collectPhotos();
    // Queued: a change is acted on once the whole of it is applied.
    connect(&session, &Session::signedIn, this, &Outbox::follow, Qt::QueuedConnection);
    connect(&session, &Session::accountKeyChanged, this,
            [this](const QString &before, const QString &after) {
                if (!m_services.store.moveAccount(before, after))
                    qCWarning(lcStore)
                        << "work not moved to the new key:" << m_services.store.errorString();
                if (m_account == before)
                    m_account = after;
                emit changed();
            });
    connect(&session, &Session::stateChanged, this, &Outbox::changed, Qt::QueuedConnection);
    connect(&m_currentProgress, &FilingProgress::changed, this, [this] {
        if (m_current)
            emit progressed(m_current);
    });
}

void Outbox::watch(qint64 id, FilingProgress *progress)
{
    if (progress)
        connect(progress, &FilingProgress::changed, this, [this, id] { emit progressed(id); });
}

const FilingProgress *Outbox::progress(qint64 id) const
{
    if (id != 0 && id == m_current)
        return &m_currentProgress;
    return m_filing.value(id);
}

void Outbox::follow(const QString &account)
{
    m_account = account;
    takeOlderWork();
    retry();
}

void Outbox::takeOlderWork()
{
    // An older client kept work under the display name: the first account of
    // that name to sign in takes it, as that client would have given it.
    const OptionalText name = m_services.session.account().username();
    if (m_account.isEmpty() || m_account == User::guestStoreKey() || !name || name->isEmpty())
        return;
    if (!m_services.store.moveAccount(QStringLiteral("name:") + *name, m_account))
        qCWarning(lcStore) << "older work not taken:" << m_services.store.errorString();
}

bool Outbox::sends() const
{
    const Session &session = m_services.session;
    return m_services.store.isOpen() && session.state() == Session::State::SignedIn
           && session.accountKey() == m_account;
}

bool Outbox::file(const Submission &submission, QObject *context, Filed done,
                  FilingProgress *progress)
{
    const std::optional<OutboxEntry> entry =
        m_services.store.enqueue(m_services.session.accountKey(), submission.draftKey,
                                 submission.kind, submission.title, submission.payload());
    if (!entry) {
        qCWarning(lcStore) << "not queued:" << m_services.store.errorString();
        return false;
    }
    const qint64 id = entry->id;
    m_filing.insert(id, progress);
    watch(id, progress);
    emit changed();
    Delivery::run(
        m_services, Parcel::of(*entry, submission), this,
        [this, id, form = QPointer<QObject>(context),
         done = std::move(done)](const Delivery::Result &result) {
            if (const QPointer<FilingProgress> followed = m_filing.take(id))
                disconnect(followed, nullptr, this, nullptr);
            // The form first: it may take a refused entry back.
            if (form && done)
                done(id, result);
            attemptEnded(id, result);
        },
        progress);
    return true;
}

void Outbox::start()
{
    for (const OutboxEntry &entry : m_services.store.outbox(m_account)) {
        if (isBusy(entry.id))
            continue;
        if (entry.state == OutboxState::Sending
            && !setState(entry, OutboxState::MaybeDelivered,
                         QStringLiteral("等待回复时客户端已退出")))
            return;
        if (entry.state == OutboxState::Sent)
            m_services.store.removeEntry(entry.id, true);
    }
    m_services.store.collectPhotos();
    emit changed();
    sendNext();
}

void Outbox::retry()
{
    ++m_generation;
    m_backoffs.clear();
    m_problem.clear();
    for (const OutboxEntry &entry : m_services.store.outbox(m_account))
        if (entry.state == OutboxState::Failed && !isBusy(entry.id)
            && !setState(entry, OutboxState::Waiting, entry.reason))
            return;
    emit changed();
    sendNext();
}

std::optional<OutboxEntry> Outbox::find(qint64 id) const
{
    for (const OutboxEntry &entry : entries())
        if (entry.id == id)
            return entry;
    return std::nullopt;
}

void Outbox::resend(qint64 id)
{
    const auto found = find(id);
    if (!found || !canConfirm(*found) || !setState(*found, OutboxState::Waiting, found->reason))
        return;
    emit changed();
    sendNext();
}

void Outbox::withdraw(qint64 id)
{
    // Its photos stay: the form that withdrew it uses them.
    if (!isBusy(id) && m_services.store.removeEntry(id))
        emit changed();
}

bool Outbox::canRemove(const OutboxEntry &entry) const
{
    return !isBusy(entry.id)
           && (entry.state == OutboxState::Waiting || entry.state == OutboxState::Failed
               || entry.state == OutboxState::MaybeDelivered);
}

bool Outbox::canConfirm(const OutboxEntry &entry) const
{
    return !isBusy(entry.id) && entry.state == OutboxState::MaybeDelivered;
}

bool Outbox::canEdit(const OutboxEntry &entry) const
{
    return !isBusy(entry.id) && !entry.draftKey.isEmpty()
           && (entry.state == OutboxState::Waiting || entry.state == OutboxState::Failed);
}

bool Outbox::removeNow(qint64 id)
{
    m_backoffs.remove(id);
    m_missedOnce.remove(id);
    const bool removed = m_services.store.removeEntry(id, true);
    emit changed();
    return removed;
}

bool Outbox::remove(qint64 id)
{
    const auto found = find(id);
    return found && canRemove(*found) && removeNow(id);
}

bool Outbox::confirmDelivered(qint64 id)
{
    const auto found = find(id);
    return found && canConfirm(*found) && removeNow(id);
}

bool Outbox::edit(qint64 id)
{
    const auto found = find(id);
    if (!found || !canEdit(*found) || !m_services.store.returnToDraft(id))
        return false;
    m_backoffs.remove(id);
    emit changed();
    return true;
}

int Outbox::waitingCount() const
{
    return m_services.store.isOpen() ? m_services.store.undeliveredCount(m_account) : 0;
}

QList<OutboxEntry> Outbox::entries() const
{
    return m_services.store.isOpen() ? m_services.store.outbox(m_account) : QList<OutboxEntry>();
}

bool Outbox::checksDelivery(const OutboxEntry &entry) const
{
    return sheetDelivery::checkable(Parcel::of(entry), m_services.client.serviceNow());
}

void Outbox::sendNext()
{
    if (m_current != 0 || !m_problem.isEmpty() || !sends())
        return;
    const QList<OutboxEntry> all = m_services.store.outbox(m_account);
    const auto next = std::find_if(all.begin(), all.end(), [this](const OutboxEntry &entry) {
        return !isBusy(entry.id) && !m_backoffs.value(entry.id).resting
               && (entry.state == OutboxState::Waiting
                   || (entry.state == OutboxState::MaybeDelivered && checksDelivery(entry)));
    });
    if (next == all.end())
        return;
    m_current = next->id;
    emit changed();
    if (next->state == OutboxState::MaybeDelivered)
        return checkDelivery(*next);
    deliver(*next);
}

void Outbox::deliver(const OutboxEntry &entry)
{
    Delivery::run(
        m_services, Parcel::of(entry), this,
        [this, id = entry.id](const Delivery::Result &result) {
            m_current = 0;
            attemptEnded(id, result);
        },
        &m_currentProgress);
}

void Outbox::checkDelivery(const OutboxEntry &entry)
{
    sheetDelivery::check(
        m_services.client, Parcel::of(entry), this,
        [this, entry](sheetDelivery::Outcome outcome, const ServiceFailure &failure) {
            switch (outcome) {
            case sheetDelivery::Outcome::Delivered:
                qCDebug(lcStore) << "outbox entry" << entry.id << "had arrived";
                m_current = 0;
                if (!setState(entry, OutboxState::Sent))
                    return;
                return attemptEnded(entry.id, {Delivery::Outcome::Delivered, {}, {}, {}});
            case sheetDelivery::Outcome::NotDelivered:
                // The service may list a sheet late: one miss is not enough
                // to send the record again.
                if (!m_missedOnce.contains(entry.id)) {
                    m_missedOnce.insert(entry.id);
                    m_current = 0;
                    rest(entry.id);
                    emit changed();
                    return sendNext();
                }
                m_missedOnce.remove(entry.id);
                // Its photos are stored already: only the record goes again.
                if (!setState(entry, OutboxState::Waiting, entry.reason)) {
                    m_current = 0;
                    return;
                }
                return deliver(entry);
            case sheetDelivery::Outcome::Unknown:
                m_current = 0;
                // A refused look leaves the entry as it was: without a rest
                // it would be looked at again at once, for good.
                if (Delivery::isRefusal(failure))
                    rest(entry.id);
                return attemptEnded(entry.id, {Delivery::Outcome::RecordFailed, {}, failure, {}});
            }
        });
}

void Outbox::attemptEnded(qint64 id, const Delivery::Result &result)
{
    emit changed();
    if (result.outcome == Delivery::Outcome::Delivered)
        emit delivered(id, result.answer);
    else
        emit attemptFailed(id, result);
    if (!result.storeError.isEmpty())
        return stop(result.storeError);
    switch (result.outcome) {
    case Delivery::Outcome::Delivered:
        // Its photos are of no more use to anyone.
        removeNow(id);
        return sendNext();
    case Delivery::Outcome::PhotosFailed:
    case Delivery::Outcome::PhotosRefused:
        rest(id);
        return sendNext();
    case Delivery::Outcome::RecordFailed:
        // Code 9 ended the sign-in: the next sign-in of this account sends.
        if (result.failure.code == 9)
            return;
        if (!Delivery::isRefusal(result.failure))
            rest(id);
        return sendNext();
    case Delivery::Outcome::PhotoDamaged:
    case Delivery::Outcome::SessionChanged:
        // The queue goes on for whoever is signed in now.
        return sendNext();
    case Delivery::Outcome::StoreFailed:
        return;
    }
}

void Outbox::rest(qint64 id)
{
    Backoff &backoff = m_backoffs[id];
    const std::chrono::seconds delay = backoff.next;
    backoff.next = std::min(backoff.next * 2, lastRetry);
    backoff.resting = true;
    qCDebug(lcStore) << "outbox entry" << id << "tries again in" << delay.count() << "s";
    m_scheduler.runAfter(delay, this, [this, id, generation = m_generation] {
        if (generation != m_generation || !m_backoffs.contains(id))
            return;
        m_backoffs[id].resting = false;
        sendNext();
    });
}

bool Outbox::setState(const OutboxEntry &entry, OutboxState state, const QString &reason)
{
    if (m_services.store.setState(entry.id, state, reason))
        return true;
    stop(m_services.store.errorString());
    return false;
}

void Outbox::stop(const QString &storeError)
{
    qCWarning(lcStore) << "outbox stopped:" << storeError;
    m_problem = QStringLiteral("无法写入手机存储（%1），待上传已暂停，以免重复提交。"
                               "请清理手机存储空间后点“重试”。")
                    .arg(storeError);
    emit changed();
}

} // namespace orvelle
