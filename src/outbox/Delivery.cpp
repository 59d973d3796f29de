#include "Delivery.h"

#include "core/Logging.h"
#include "net/PhotoUploader.h"
#include "outbox/FilingProgress.h"
#include "session/Session.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QPointer>
#include <memory>

namespace orvelle {

namespace {
const QString pathKey = QStringLiteral("path");
const QString parametersKey = QStringLiteral("parameters");
const QString photoFieldsKey = QStringLiteral("photoFields");
const QString photosFailedMessage = QStringLiteral("上传失败，请重试。");
// A photo whose whole body went when the filing was set aside gets this long
// for its answer: the file store most likely has it, and sending it again
// costs the slow link the whole photo.
constexpr std::chrono::seconds answerPatience{10};

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

struct Group;

struct Attempt
{
    FilingServices &services;
    OutboxEntry entry;
    QPointer<QObject> context;
    delivery::Done done;
    Credentials credentials;
    // Photos stored by this attempt, in the order the file store answered.
    QStringList arrived;

    QString storeError = {};
    QPointer<FilingProgress> progress = {};
    // The photo uploads on their way; deleting it drops them.
    QPointer<QObject> transfers = {};
    QMetaObject::Connection stopAsked = {};
    // The photo group on its way, if any.
    std::shared_ptr<Group> group = {};
    bool recordGoing = false;
    bool stopping = false;
    bool ended = false;

    bool stored() const { return entry.id != 0; }
    bool setState(OutboxState state, const QString &reason = {}, const QDateTime &attemptedAt = {})
    {
        if (!stored() || services.store.setState(entry.id, state, reason, attemptedAt))
            return true;
        storeError = services.store.errorString();
        qCWarning(lcStore) << "entry" << entry.id << "mark not written:" << storeError;
        return false;
    }
    void finish(delivery::Result result)
    {
        ended = true;
        QObject::disconnect(stopAsked);
        delete transfers;
        if (progress)
            progress->end();
        result.storeError = storeError;
        if (context && done)
            done(result);
    }
};
using AttemptPtr = std::shared_ptr<Attempt>;

QJsonObject recordParameters(const Attempt &attempt)
{
    QJsonObject parameters = attempt.entry.payload.value(parametersKey).toObject();
    for (const PhotoField &field : photoFieldsOf(attempt.entry)) {
        // Those an earlier attempt stored, then the others as they arrived.
        const QStringList group = attempt.entry.photos.value(field.group);
        QStringList addresses;
        for (const QString &hash : group)
            if (!attempt.arrived.contains(hash))
                addresses.append(attempt.entry.uploaded.value(hash));
        for (const QString &hash : attempt.arrived)
            for (qsizetype n = group.count(hash); n > 0; --n)
                addresses.append(attempt.entry.uploaded.value(hash));
        parameters.insert(field.field, addresses.join(field.separator));
    }
    // The sign-in the attempt began under, whatever the account record says now.
    if (attempt.credentials.mobile)
        parameters.insert(QStringLiteral("mobile"), *attempt.credentials.mobile);
    if (attempt.credentials.token)
        parameters.insert(QStringLiteral("token"), *attempt.credentials.token);
    return parameters;
}

void recordFailed(Attempt &attempt, const ServiceFailure &failure)
{
    if (failure.mayHaveArrived)
        attempt.setState(OutboxState::MaybeDelivered, failure.message);
    else if (delivery::isRefusal(failure))
        attempt.setState(OutboxState::Failed, failure.message);
    else
        attempt.setState(OutboxState::Waiting, failure.message);
    attempt.finish({delivery::Outcome::RecordFailed, {}, failure});
}

// Another sign-in than the one the attempt began under, or than the one the
// entry was filed by: its record must not go with this token.
bool signInMoved(const Attempt &attempt)
{
    const Session &session = attempt.services.session;
    return session.generation() != attempt.credentials.generation
           || (attempt.stored() && attempt.entry.account != session.accountKey());
}

void sendRecord(const AttemptPtr &attempt)
{
    if (signInMoved(*attempt)) {
        qCDebug(lcStore) << "sign-in changed; entry" << attempt->entry.id << "waits";
        return attempt->finish({delivery::Outcome::SessionChanged, {}, {}});
    }
    // From here on a kill leaves the entry as maybe delivered; without that
    // mark committed nothing goes.
    if (!attempt->setState(OutboxState::Sending, {}, attempt->services.client.serviceNow()))
        return attempt->finish({delivery::Outcome::StoreFailed, {}, {}});
    attempt->recordGoing = true;
    if (attempt->progress)
        attempt->progress->recordGoing();
    attempt->services.client.sendRecord(
        attempt->entry.payload.value(pathKey).toString(), recordParameters(*attempt),
        attempt->context,
        [attempt](const std::optional<QString> &, qint64, const QJsonObject &json) {
            attempt->setState(OutboxState::Sent);
            attempt->finish({delivery::Outcome::Delivered, json, {}});
        },
        [attempt](const ServiceFailure &failure) { recordFailed(*attempt, failure); });
}

void uploadGroup(const AttemptPtr &attempt, int fieldIndex);

// The photos of one group on their way.
struct Group
{
    int fieldIndex;
    int outstanding;
    bool allStored = true;
    bool allAnswered = true;
};

// As a connection lost with photos on their way leaves the entry.
void photosLost(Attempt &attempt, bool allAnswered = false)
{
    attempt.setState(OutboxState::Waiting, photosFailedMessage);
    attempt.finish(
        {allAnswered ? delivery::Outcome::PhotosRefused : delivery::Outcome::PhotosFailed,
         {},
         {-2, photosFailedMessage}});
}

// Set aside: the photos not yet on their way stay, those whose body went are
// waited for, so that none the file store has is sent again.
void stop(const AttemptPtr &attempt)
{
    if (attempt->recordGoing || attempt->ended || attempt->stopping)
        return;
    qCDebug(lcStore) << "entry" << attempt->entry.id << "set aside by the user";
    attempt->stopping = true;
    if (!attempt->group)
        return photosLost(*attempt);
    attempt->services.uploader.stopAtSafePoint(attempt->transfers, answerPatience);
}

void photoAnswered(const AttemptPtr &attempt, Group &group, const QString &hash,
                   const std::optional<QString> &address, bool refused)
{
    if (attempt->ended)
        return;
    const bool kept =
        address
        && (!attempt->stored()
            || attempt->services.store.recordUpload(attempt->entry.id, hash, *address));
    if (address && !kept)
        attempt->storeError = attempt->services.store.errorString();
    if (kept) {
        attempt->entry.uploaded.insert(hash, *address);
        attempt->arrived.append(hash);
        if (attempt->progress)
            attempt->progress->photoStored(hash);
    }
    group.allStored = group.allStored && kept;
    group.allAnswered = group.allAnswered && (kept || refused);
    if (--group.outstanding > 0)
        return;
    attempt->group.reset();
    if (attempt->stopping)
        return photosLost(*attempt);
    if (group.allStored)
        return uploadGroup(attempt, group.fieldIndex + 1);
    photosLost(*attempt, group.allAnswered);
}

void photoDamaged(Attempt &attempt)
{
    const QString message = delivery::photoDamagedMessage();
    attempt.setState(OutboxState::Failed, message);
    attempt.finish({delivery::Outcome::PhotoDamaged, {}, {-1, message}});
}

void uploadMissing(const AttemptPtr &attempt, int fieldIndex, const QStringList &missing);

void uploadGroup(const AttemptPtr &attempt, int fieldIndex)
{
    const QList<PhotoField> fields = photoFieldsOf(attempt->entry);
    if (fieldIndex >= fields.size())
        return sendRecord(attempt);
    QStringList missing;
    for (const QString &hash : attempt->entry.photos.value(fields[fieldIndex].group))
        if (!attempt->entry.uploaded.contains(hash) && !missing.contains(hash))
            missing.append(hash);
    if (missing.isEmpty())
        return uploadGroup(attempt, fieldIndex + 1);
    // A photo that is not what was taken never goes.
    attempt->services.store.verifyPhotos(missing, [attempt, fieldIndex, missing](bool intact) {
        if (attempt->ended)
            return;
        if (!intact)
            return photoDamaged(*attempt);
        uploadMissing(attempt, fieldIndex, missing);
    });
}

void uploadMissing(const AttemptPtr &attempt, int fieldIndex, const QStringList &missing)
{
    auto group = std::make_shared<Group>(Group{fieldIndex, int(missing.size())});
    attempt->group = group;
    const QPointer<FilingProgress> progress = attempt->progress;
    for (const QString &hash : missing)
        attempt->services.uploader.uploadFile(
            attempt->services.store.photoFile(hash), attempt->transfers,
            [attempt, group, hash](const std::optional<QString> &address, bool refused) {
                photoAnswered(attempt, *group, hash, address, refused);
            },
            [progress, hash](qint64 sent, qint64 total) {
                if (progress)
                    progress->photoSending(hash, sent, total);
            });
}

// Every photo the entry carries, once, with what its file weighs.
QList<FilingProgress::Photo> photosOf(const Attempt &attempt)
{
    QList<FilingProgress::Photo> photos;
    for (const PhotoField &field : photoFieldsOf(attempt.entry))
        for (const QString &hash : attempt.entry.photos.value(field.group))
            photos.append({hash, QFileInfo(attempt.services.store.photoFile(hash)).size(),
                           attempt.entry.uploaded.contains(hash)});
    return photos;
}

void start(const AttemptPtr &attempt, FilingProgress *progress)
{
    // Dropped with the one who waits for them.
    attempt->transfers = new QObject(attempt->context);
    attempt->progress = progress;
    if (progress) {
        attempt->stopAsked =
            QObject::connect(progress, &FilingProgress::stopAsked, attempt->transfers,
                             [weak = std::weak_ptr<Attempt>(attempt)] {
                                 if (const AttemptPtr attempt = weak.lock())
                                     stop(attempt);
                             });
        progress->begin(attempt->entry.kind == QLatin1String("sheet"), photosOf(*attempt));
    }
    // The keychain may have kept it waiting while another account signed in.
    if (signInMoved(*attempt))
        return attempt->finish({delivery::Outcome::SessionChanged, {}, {}});
    uploadGroup(attempt, 0);
}

} // namespace

QJsonObject Submission::payload() const
{
    QJsonArray fields;
    for (const PhotoField &field : photoFields)
        fields.append(QJsonObject{{QStringLiteral("field"), field.field},
                                  {QStringLiteral("group"), field.group},
                                  {QStringLiteral("separator"), field.separator}});
    QJsonObject payload{{pathKey, path}, {parametersKey, parameters}, {photoFieldsKey, fields}};
    if (!review.isEmpty())
        payload.insert(QStringLiteral("review"), review);
    return payload;
}

namespace delivery {

void run(FilingServices &services, OutboxEntry entry, QObject *context, Done done,
         FilingProgress *progress)
{
    // The sign-in is taken once the keychain has given the token, without
    // holding the GUI thread for it.
    services.session.account().whenTokenKnown(
        context, [&services, entry = std::move(entry), context, done = std::move(done),
                  progress = QPointer<FilingProgress>(progress)]() mutable {
            auto attempt = std::make_shared<Attempt>(Attempt{services,
                                                             std::move(entry),
                                                             context,
                                                             std::move(done),
                                                             services.session.credentials(),
                                                             {}});
            start(attempt, progress);
        });
}

QString photoDamagedMessage()
{
    return QStringLiteral("照片文件已丢失或损坏，无法上传。请点“编辑”重新添加照片，或删除此条。");
}

bool isRefusal(const ServiceFailure &failure)
{
    return !failure.mayHaveArrived && failure.code != -2 && failure.code != 9;
}

} // namespace delivery

} // namespace orvelle
