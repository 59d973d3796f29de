#include "Delivery.h"

#include "core/Logging.h"
#include "net/PhotoUploader.h"

#include <QFileInfo>
#include <QJsonArray>

namespace orvelle {

namespace {
const QString pathKey = QStringLiteral("path");
const QString parametersKey = QStringLiteral("parameters");
const QString photoFieldsKey = QStringLiteral("photoFields");
const QString reviewKey = QStringLiteral("review");
const QString photosFailedMessage = QStringLiteral("上传失败，请重试。");
// A photo whose whole body went when the filing was set aside gets this long
// for its answer: the file store most likely has it, and sending it again
// costs the slow link the whole photo.
constexpr std::chrono::seconds answerPatience{10};
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
        payload.insert(reviewKey, review);
    return payload;
}

Submission Submission::of(const OutboxEntry &entry)
{
    const QJsonObject &payload = entry.payload;
    Submission submission{entry.draftKey,
                          entry.kind,
                          entry.title,
                          payload.value(pathKey).toString(),
                          payload.value(parametersKey).toObject(),
                          {},
                          payload.value(reviewKey).toObject()};
    for (const QJsonValue &value : payload.value(photoFieldsKey).toArray()) {
        const QJsonObject field = value.toObject();
        submission.photoFields.append({field.value(QLatin1String("field")).toString(),
                                       field.value(QLatin1String("group")).toString(),
                                       field.value(QLatin1String("separator")).toString()});
    }
    return submission;
}

Parcel Parcel::of(const OutboxEntry &entry)
{
    return of(entry, Submission::of(entry));
}

Parcel Parcel::of(const OutboxEntry &entry, const Submission &submission)
{
    return {submission,     entry.photos,
            entry.uploaded, entry.id,
            entry.account,  entry.attemptedAt.isValid() ? entry.attemptedAt : entry.createdAt};
}

Parcel Parcel::direct(const Submission &submission, const PhotoGroups &photos)
{
    return {submission, photos, {}, std::nullopt, {}, {}};
}

Delivery::Delivery(FilingServices &services, Parcel parcel, QObject *context, Done done)
    : m_services(services)
    , m_parcel(std::move(parcel))
    , m_context(context)
    , m_done(std::move(done))
    , m_credentials(services.session.credentials())
{}

void Delivery::run(FilingServices &services, Parcel parcel, QObject *context, Done done,
                   FilingProgress *progress)
{
    // The sign-in is taken once the keychain has given the token, without
    // holding the GUI thread for it.
    services.session.account().whenTokenKnown(
        context, [&services, parcel = std::move(parcel), context, done = std::move(done),
                  progress = QPointer<FilingProgress>(progress)]() mutable {
            std::make_shared<Delivery>(services, std::move(parcel), context, std::move(done))
                ->start(progress);
        });
}

QString Delivery::photoDamagedMessage()
{
    return QStringLiteral("照片文件已丢失或损坏，无法上传。请点“编辑”重新添加照片，或删除此条。");
}

bool Delivery::isRefusal(const ServiceFailure &failure)
{
    return !failure.mayHaveArrived && failure.code != -2 && failure.code != 9;
}

bool Delivery::setState(OutboxState state, const QString &reason, const QDateTime &attemptedAt)
{
    if (!stored() || m_services.store.setState(*m_parcel.entryId, state, reason, attemptedAt))
        return true;
    m_storeError = m_services.store.errorString();
    qCWarning(lcStore) << "entry" << *m_parcel.entryId << "mark not written:" << m_storeError;
    return false;
}

void Delivery::start(FilingProgress *progress)
{
    // Dropped with the one who waits for them.
    m_transfers = new QObject(m_context);
    m_progress = progress;
    if (progress) {
        m_stopAsked = QObject::connect(progress, &FilingProgress::stopAsked, m_transfers,
                                       [weak = weak_from_this()] {
                                           if (const auto self = weak.lock())
                                               self->stop();
                                       });
        progress->begin(m_parcel.submission.kind == QLatin1String("sheet"), photosOf());
    }
    // The keychain may have kept it waiting while another account signed in.
    if (signInMoved())
        return finish({Outcome::SessionChanged, {}, {}});
    uploadGroup(0);
}

void Delivery::finish(Result result)
{
    m_ended = true;
    QObject::disconnect(m_stopAsked);
    delete m_transfers;
    if (m_progress)
        m_progress->end();
    result.storeError = m_storeError;
    if (m_context && m_done)
        m_done(result);
}

// Another sign-in than the one the attempt began under, or than the one the
// entry was filed by: its record must not go with this token.
bool Delivery::signInMoved() const
{
    const Session &session = m_services.session;
    return session.generation() != m_credentials.generation
           || (stored() && m_parcel.account != session.accountKey());
}

QJsonObject Delivery::recordParameters() const
{
    QJsonObject parameters = m_parcel.submission.parameters;
    for (const PhotoField &field : m_parcel.submission.photoFields) {
        // Those an earlier attempt stored, then the others as they arrived.
        const QStringList group = m_parcel.photos.value(field.group);
        QStringList addresses;
        for (const QString &hash : group)
            if (!m_arrived.contains(hash))
                addresses.append(m_parcel.uploaded.value(hash));
        for (const QString &hash : m_arrived)
            for (qsizetype n = group.count(hash); n > 0; --n)
                addresses.append(m_parcel.uploaded.value(hash));
        parameters.insert(field.field, addresses.join(field.separator));
    }
    // The sign-in the attempt began under, whatever the account record says now.
    if (m_credentials.mobile)
        parameters.insert(QStringLiteral("mobile"), *m_credentials.mobile);
    if (m_credentials.token)
        parameters.insert(QStringLiteral("token"), *m_credentials.token);
    return parameters;
}

void Delivery::sendRecord()
{
    if (signInMoved()) {
        qCDebug(lcStore) << "sign-in changed; entry" << m_parcel.entryId.value_or(0) << "waits";
        return finish({Outcome::SessionChanged, {}, {}});
    }
    // From here on a kill leaves the entry as maybe delivered; without that
    // mark committed nothing goes.
    if (!setState(OutboxState::Sending, {}, m_services.client.serviceNow()))
        return finish({Outcome::StoreFailed, {}, {}});
    m_recordGoing = true;
    if (m_progress)
        m_progress->recordGoing();
    m_services.client.sendRecord(
        m_parcel.submission.path, recordParameters(), m_context,
        [self = shared_from_this()](const std::optional<QString> &, qint64,
                                    const QJsonObject &json) {
            self->setState(OutboxState::Sent);
            self->finish({Outcome::Delivered, json, {}});
        },
        [self = shared_from_this()](const ServiceFailure &failure) {
            self->recordFailed(failure);
        });
}

void Delivery::recordFailed(const ServiceFailure &failure)
{
    if (failure.mayHaveArrived)
        setState(OutboxState::MaybeDelivered, failure.message);
    else if (isRefusal(failure))
        setState(OutboxState::Failed, failure.message);
    else
        setState(OutboxState::Waiting, failure.message);
    finish({Outcome::RecordFailed, {}, failure});
}

void Delivery::uploadGroup(int fieldIndex)
{
    const QList<PhotoField> &fields = m_parcel.submission.photoFields;
    if (fieldIndex >= fields.size())
        return sendRecord();
    QStringList missing;
    for (const QString &hash : m_parcel.photos.value(fields[fieldIndex].group))
        if (!m_parcel.uploaded.contains(hash) && !missing.contains(hash))
            missing.append(hash);
    if (missing.isEmpty())
        return uploadGroup(fieldIndex + 1);
    // A photo that is not what was taken never goes.
    m_services.store.verifyPhotos(missing,
                                  [self = shared_from_this(), fieldIndex, missing](bool intact) {
                                      if (self->m_ended)
                                          return;
                                      if (!intact)
                                          return self->photoDamaged();
                                      self->uploadMissing(fieldIndex, missing);
                                  });
}

void Delivery::uploadMissing(int fieldIndex, const QStringList &missing)
{
    auto group = std::make_shared<Group>(Group{fieldIndex, int(missing.size())});
    m_group = group;
    for (const QString &hash : missing)
        m_services.uploader.uploadFile(
            m_services.store.photoFile(hash), m_transfers,
            [self = shared_from_this(), group, hash](const std::optional<QString> &address,
                                                     bool refused) {
                self->photoAnswered(*group, hash, address, refused);
            },
            [progress = m_progress, hash](qint64 sent, qint64 total) {
                if (progress)
                    progress->photoSending(hash, sent, total);
            });
}

void Delivery::photoAnswered(Group &group, const QString &hash,
                             const std::optional<QString> &address, bool refused)
{
    if (m_ended)
        return;
    const bool kept =
        address && (!stored() || m_services.store.recordUpload(*m_parcel.entryId, hash, *address));
    if (address && !kept)
        m_storeError = m_services.store.errorString();
    if (kept) {
        m_parcel.uploaded.insert(hash, *address);
        m_arrived.append(hash);
        if (m_progress)
            m_progress->photoStored(hash);
    }
    group.allStored = group.allStored && kept;
    group.allAnswered = group.allAnswered && (kept || refused);
    if (--group.outstanding > 0)
        return;
    m_group.reset();
    if (m_stopping)
        return photosLost();
    if (group.allStored)
        return uploadGroup(group.fieldIndex + 1);
    photosLost(group.allAnswered);
}

// As a connection lost with photos on their way leaves the entry.
void Delivery::photosLost(bool allAnswered)
{
    setState(OutboxState::Waiting, photosFailedMessage);
    finish({allAnswered ? Outcome::PhotosRefused : Outcome::PhotosFailed,
            {},
            {-2, photosFailedMessage}});
}

void Delivery::photoDamaged()
{
    const QString message = photoDamagedMessage();
    setState(OutboxState::Failed, message);
    finish({Outcome::PhotoDamaged, {}, {-1, message}});
}

// Set aside: the photos not yet on their way stay, those whose body went are
// waited for, so that none the file store has is sent again.
void Delivery::stop()
{
    if (m_recordGoing || m_ended || m_stopping)
        return;
    qCDebug(lcStore) << "entry" << m_parcel.entryId.value_or(0) << "set aside by the user";
    m_stopping = true;
    if (!m_group)
        return photosLost();
    m_services.uploader.stopAtSafePoint(m_transfers, answerPatience);
}

// Every photo the entry carries, once, with what its file weighs.
QList<FilingProgress::Photo> Delivery::photosOf() const
{
    QList<FilingProgress::Photo> photos;
    for (const PhotoField &field : m_parcel.submission.photoFields)
        for (const QString &hash : m_parcel.photos.value(field.group))
            photos.append({hash, QFileInfo(m_services.store.photoFile(hash)).size(),
                           m_parcel.uploaded.contains(hash)});
    return photos;
}

} // namespace orvelle
