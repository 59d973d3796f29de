#include "Outbox.h"

#include "core/Logging.h"
#include "core/Scheduler.h"
#include "net/PhotoUploader.h"
#include "outbox/SheetDeliveryCheck.h"
#include "session/User.h"

#include <QJsonArray>
#include <algorithm>
#include <memory>

namespace orvelle {

namespace {
const QString pathKey = QStringLiteral("path");
const QString parametersKey = QStringLiteral("parameters");
const QString photoFieldsKey = QStringLiteral("photoFields");

QJsonObject payloadOf(const Submission &submission)
{
    QJsonArray fields;
    for (const PhotoField &field : submission.photoFields)
        fields.append(QJsonObject{{QStringLiteral("field"), field.field},
                                  {QStringLiteral("group"), field.group},
                                  {QStringLiteral("separator"), field.separator}});
    QJsonObject payload{{pathKey, submission.path},
                        {parametersKey, submission.parameters},
                        {photoFieldsKey, fields}};
    if (!submission.review.isEmpty())
        payload.insert(QStringLiteral("review"), submission.review);
    return payload;
}

QList<PhotoField> photoFieldsOf(const OutboxEntry &entry)
{
    QList<PhotoField> fields;
    for (const QJsonValue &value : entry.payload.value(photoFieldsKey).toArray()) {
        const QJsonObject field = value.toObject();
        fields.append({field.value(QLatin1String("field")).toString(),
                       field.value(QLatin1String("group")).toString(),
                       field.value(QLatin1String("separator")).toString()});
    }
    return fields;
}

} // namespace

Outbox::Outbox(DeviceStore &store, ServiceClient &client, PhotoUploader &uploader, User &account,
               Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_client(client)
    , m_uploader(uploader)
    , m_account(account)
    , m_scheduler(scheduler)
{
    // A sign-in sends what waits, and ends the pause a code 9 began.
    connect(&m_account, &User::isloginChanged, this, [this] {
        if (!m_account.isSignedIn())
            return;
        m_paused = false;
        retry();
    });
}

QString Outbox::account() const
{
    return m_account.username().value_or(QString());
}

qint64 Outbox::submit(const Submission &submission)
{
    const qint64 id = m_store.enqueue(account(), submission.draftKey, submission.kind,
                                      submission.title, payloadOf(submission));
    if (id == 0) {
        qCWarning(lcStore) << "not queued:" << m_store.errorString();
        return 0;
    }
    m_first = id;
    emit changed();
    sendNext();
    return id;
}

void Outbox::start()
{
    for (const OutboxEntry &entry : m_store.outbox(account())) {
        if (entry.state == OutboxState::Sending)
            m_store.setState(entry.id, OutboxState::MaybeDelivered, entry.reason);
        else if (entry.state == OutboxState::Sent)
            m_store.removeEntry(entry.id);
    }
    m_store.collectPhotos();
    emit changed();
    sendNext();
}

void Outbox::retry()
{
    ++m_generation;
    m_retryDue = false;
    m_backoff = firstRetry;
    for (const OutboxEntry &entry : m_store.outbox(account()))
        if (entry.state == OutboxState::Failed)
            m_store.setState(entry.id, OutboxState::Waiting, entry.reason);
    emit changed();
    sendNext();
}

void Outbox::resend(qint64 id)
{
    const QList<OutboxEntry> all = m_store.outbox(account());
    const auto found = std::find_if(all.begin(), all.end(), [id](const OutboxEntry &entry) {
        return entry.id == id && entry.state == OutboxState::MaybeDelivered;
    });
    if (found == all.end())
        return;
    m_store.setState(id, OutboxState::Waiting, found->reason);
    m_first = id;
    emit changed();
    sendNext();
}

void Outbox::withdraw(qint64 id)
{
    // Its photos stay until the next start: the form that withdrew it uses them.
    if (id != m_current && m_store.removeEntry(id))
        emit changed();
}

bool Outbox::isRefusal(const ServiceFailure &failure)
{
    return !failure.mayHaveArrived && failure.code != -2 && failure.code != 9;
}

int Outbox::waitingCount() const
{
    return m_store.isOpen() ? m_store.undeliveredCount(account()) : 0;
}

QList<OutboxEntry> Outbox::entries() const
{
    return m_store.isOpen() ? m_store.outbox(account()) : QList<OutboxEntry>();
}

bool Outbox::checksDelivery(const OutboxEntry &entry)
{
    return sheetDelivery::checkable(entry);
}

void Outbox::sendNext(bool firstOnly)
{
    // A submission goes next, after the entry on its way; not later, when
    // the queue is held.
    if (m_current != 0)
        return;
    if (m_paused || !m_store.isOpen() || !m_account.isSignedIn()) {
        m_first = 0;
        return;
    }
    const auto due = [](const OutboxEntry &entry) {
        return entry.state == OutboxState::Waiting
               || (entry.state == OutboxState::MaybeDelivered && checksDelivery(entry));
    };
    const QList<OutboxEntry> all = m_store.outbox(account());
    auto next = std::find_if(all.begin(), all.end(), [this, due](const OutboxEntry &entry) {
        return entry.id == m_first && due(entry);
    });
    if (next == all.end() && !firstOnly)
        next = std::find_if(all.begin(), all.end(), due);
    m_first = 0;
    if (next == all.end())
        return;
    m_current = next->id;
    emit changed();
    if (next->state == OutboxState::MaybeDelivered)
        return checkDelivery(*next);
    uploadGroup(*next, 0);
}

void Outbox::checkDelivery(const OutboxEntry &entry)
{
    sheetDelivery::check(
        m_client, entry, this,
        [this, entry](sheetDelivery::Outcome outcome, const ServiceFailure &failure) {
            switch (outcome) {
            case sheetDelivery::Outcome::Delivered:
                qCDebug(lcStore) << "outbox entry" << entry.id << "had arrived";
                m_store.setState(entry.id, OutboxState::Sent);
                emit delivered(entry.id, {});
                return endAttempt(false);
            case sheetDelivery::Outcome::NotDelivered:
                // Its photos are stored already: only the record goes again.
                m_store.setState(entry.id, OutboxState::Waiting, entry.reason);
                return sendRecord(entry);
            case sheetDelivery::Outcome::Unknown:
                if (failure.code == 9)
                    m_paused = true;
                return endAttempt(failure.code != 9);
            }
        });
}

// Each group's photos go up together, and a group starts once the one before
// it is stored; photos stored by an earlier attempt are not sent again.
void Outbox::uploadGroup(OutboxEntry entry, int fieldIndex)
{
    const QList<PhotoField> fields = photoFieldsOf(entry);
    if (fieldIndex >= fields.size())
        return sendRecord(entry);
    QStringList missing;
    for (const QString &hash : entry.photos.value(fields[fieldIndex].group))
        if (!entry.uploaded.contains(hash) && !missing.contains(hash))
            missing.append(hash);
    if (missing.isEmpty())
        return uploadGroup(std::move(entry), fieldIndex + 1);

    struct Group
    {
        OutboxEntry entry;
        int outstanding = 0;
        bool allStored = true;
    };
    auto group = std::make_shared<Group>(Group{std::move(entry), int(missing.size())});
    for (const QString &hash : missing) {
        m_uploader.uploadFile(
            m_store.photoFile(hash), this,
            [this, group, hash, fieldIndex](const std::optional<QString> &address) {
                if (address && m_store.recordUpload(group->entry.id, hash, *address))
                    group->entry.uploaded.insert(hash, *address);
                else
                    group->allStored = false;
                if (--group->outstanding > 0)
                    return;
                if (group->allStored)
                    return uploadGroup(std::move(group->entry), fieldIndex + 1);
                const qint64 id = group->entry.id;
                m_store.setState(id, OutboxState::Waiting, QStringLiteral("上传失败，请重试。"));
                emit photosFailed(id);
                endAttempt(true);
            });
    }
}

void Outbox::sendRecord(const OutboxEntry &entry)
{
    QJsonObject parameters = entry.payload.value(parametersKey).toObject();
    for (const PhotoField &field : photoFieldsOf(entry)) {
        QStringList addresses;
        for (const QString &hash : entry.photos.value(field.group))
            addresses.append(entry.uploaded.value(hash));
        parameters.insert(field.field, addresses.join(field.separator));
    }
    // From here on a kill leaves the entry as maybe delivered.
    m_store.setState(entry.id, OutboxState::Sending);
    const qint64 id = entry.id;
    m_client.sendRecord(
        entry.payload.value(pathKey).toString(), parameters, this,
        [this, id](const std::optional<QString> &, qint64, const QJsonObject &json) {
            m_store.setState(id, OutboxState::Sent);
            m_backoff = firstRetry;
            emit delivered(id, json);
            endAttempt(false);
        },
        [this, id](const ServiceFailure &failure) { recordAnswered(id, failure); });
}

void Outbox::recordAnswered(qint64 id, const ServiceFailure &failure)
{
    bool networkDown = false;
    if (failure.mayHaveArrived) {
        // The connection broke: a sheet is looked up after the backoff, not
        // in a loop against a service that keeps dropping it.
        m_store.setState(id, OutboxState::MaybeDelivered, failure.message);
        networkDown = true;
    } else if (failure.code == 9) {
        // The token is gone: nothing more is sent until the next sign-in.
        m_store.setState(id, OutboxState::Waiting, failure.message);
        m_paused = true;
    } else if (failure.code == -2) {
        m_store.setState(id, OutboxState::Waiting, failure.message);
        networkDown = true;
    } else {
        m_store.setState(id, OutboxState::Failed, failure.message);
    }
    // The attempt ends first, so a form may withdraw a refused entry.
    m_current = 0;
    emit recordFailed(id, failure);
    endAttempt(networkDown);
}

void Outbox::endAttempt(bool networkDown)
{
    m_current = 0;
    emit changed();
    if (!networkDown)
        return sendNext();
    scheduleRetry();
    // A form filed meanwhile gets its answer now, not after the backoff.
    sendNext(true);
}

void Outbox::scheduleRetry()
{
    if (m_retryDue)
        return;
    m_retryDue = true;
    const std::chrono::seconds delay = m_backoff;
    m_backoff = std::min(m_backoff * 2, lastRetry);
    qCDebug(lcStore) << "outbox tries again in" << delay.count() << "s";
    m_scheduler.runAfter(delay, this, [this, generation = m_generation] {
        if (generation != m_generation)
            return;
        m_retryDue = false;
        sendNext();
    });
}

} // namespace orvelle
