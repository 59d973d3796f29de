#pragma once

#include "net/ServiceClient.h"
#include "outbox/FilingProgress.h"
#include "session/Session.h"
#include "store/DeviceStore.h"

#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

namespace orvelle {

class PhotoUploader;

// What filing needs: one set for the whole client.
struct FilingServices
{
    ServiceClient &client;
    PhotoUploader &uploader;
    DeviceStore &store;
    Session &session;
};

// A record field filled with the addresses of one photo group, in the
// order the file store stored them.
struct PhotoField
{
    QString field;
    QString group;
    QString separator;
};

// What a form files: a record request whose photo fields are filled in once
// the group's photos are stored.
struct Submission
{
    QString draftKey; // the saved draft whose photos go with it
    QString kind;     // "sheet" or "hazard"
    QString title;    // the check point or the hazard description
    QString path;
    QJsonObject parameters;
    QList<PhotoField> photoFields;
    // For a sheet: the parameters of today's sheet list of its check point,
    // read to tell whether a record that may have arrived did.
    QJsonObject review;

    // As an outbox entry keeps it, and back.
    QJsonObject payload() const;
    static Submission of(const OutboxEntry &entry);
};

// What one delivery works on: the submission, typed, with its photos and
// the addresses the file store gave so far.
struct Parcel
{
    Submission submission;
    PhotoGroups photos;
    QHash<QString, QString> uploaded;
    // The outbox entry it is, and whose; none on the direct road, where
    // nothing it achieves is stored.
    std::optional<qint64> entryId;
    QString account;
    // When its record last went, or else when it was filed.
    QDateTime lastAttempt;

    // An entry read back from the store: its payload parsed once, here.
    static Parcel of(const OutboxEntry &entry);
    // An entry just made from `submission`.
    static Parcel of(const OutboxEntry &entry, const Submission &submission);
    static Parcel direct(const Submission &submission, const PhotoGroups &photos);
};

// One attempt to deliver a filed sheet or report: each photo group in turn
// (the photos of a group together, each photo once: its address is kept the
// moment the file store answers), then the record, sent once with the
// sign-in the attempt began under. When the sign-in changes before the record
// goes, the attempt stops and leaves the entry as it was.
class Delivery : public std::enable_shared_from_this<Delivery>
{
public:
    enum class Outcome {
        Delivered,
        // No answer for a photo: a later try may store it.
        PhotosFailed,
        // The file store answered no (and nothing went without an answer).
        PhotosRefused,
        RecordFailed,
        SessionChanged,
        // Its "sending" mark could not be written: nothing was sent.
        StoreFailed,
        // A photo file is gone or no longer matches its hash: nothing was sent.
        PhotoDamaged,
    };

    struct Result
    {
        Outcome outcome = Outcome::Delivered;
        // The service's whole answer, when delivered.
        QJsonObject answer;
        ServiceFailure failure;
        // A mark of the entry could not be written (full disk, locked file):
        // the store no longer tells where it stands, so nothing more may go.
        QString storeError = {};
    };
    using Done = std::function<void(const Result &result)>;

    // `done` runs on the GUI thread unless `context` is gone. `progress`,
    // when given, follows the attempt, and its askToStop() ends it at the
    // next safe point while photos go: those on their way are dropped as a
    // lost connection drops them and the entry waits as after one
    // (PhotosFailed). Once the record goes, the answer decides.
    static void run(FilingServices &services, Parcel parcel, QObject *context, Done done,
                    FilingProgress *progress = nullptr);

    // Why an entry whose photo file is gone or damaged failed.
    static QString photoDamagedMessage();
    // The service said no and why: sending it again would change nothing.
    static bool isRefusal(const ServiceFailure &failure);

    Delivery(FilingServices &services, Parcel parcel, QObject *context, Done done);

private:
    // The photos of one group on their way.
    struct Group
    {
        int fieldIndex;
        int outstanding;
        bool allStored = true;
        bool allAnswered = true;
    };

    bool stored() const { return m_parcel.entryId.has_value(); }
    bool setState(OutboxState state, const QString &reason = {}, const QDateTime &attemptedAt = {});
    void start(FilingProgress *progress);
    void finish(Result result);
    bool signInMoved() const;
    QJsonObject recordParameters() const;
    void sendRecord();
    void recordFailed(const ServiceFailure &failure);
    void uploadGroup(int fieldIndex);
    void uploadMissing(int fieldIndex, const QStringList &missing);
    void photoAnswered(Group &group, const QString &hash, const std::optional<QString> &address,
                       bool refused);
    void photosLost(bool allAnswered = false);
    void photoDamaged();
    void stop();
    QList<FilingProgress::Photo> photosOf() const;

    FilingServices &m_services;
    Parcel m_parcel;
    QPointer<QObject> m_context;
    Done m_done;
    Credentials m_credentials;
    // Photos stored by this attempt, in the order the file store answered.
    QStringList m_arrived;
    QString m_storeError;
    QPointer<FilingProgress> m_progress;
    // The photo uploads on their way; deleting it drops them.
    QPointer<QObject> m_transfers;
    QMetaObject::Connection m_stopAsked;
    // The photo group on its way, if any.
    std::shared_ptr<Group> m_group;
    bool m_recordGoing = false;
    bool m_stopping = false;
    bool m_ended = false;
};

} // namespace orvelle
