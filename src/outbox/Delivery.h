#pragma once

#include "net/ServiceClient.h"
#include "store/DeviceStore.h"

#include <QJsonObject>
#include <QList>
#include <functional>

namespace orvelle {

class FilingProgress;
class PhotoUploader;
class Session;

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

    // As an outbox entry keeps it.
    QJsonObject payload() const;
};

// One attempt to deliver a filed sheet or report: each photo group in turn
// (the photos of a group together, each photo once: its address is kept the
// moment the file store answers), then the record, sent once with the
// sign-in the attempt began under. When the sign-in changes before the record
// goes, the attempt stops and leaves the entry as it was.
namespace delivery {

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
    // A mark of the entry could not be written (full disk, locked file): the
    // store no longer tells where it stands, so nothing more may go.
    QString storeError = {};
};
using Done = std::function<void(const Result &result)>;

// An entry with id 0 is not in the outbox: what it achieves is not stored.
// `done` runs on the GUI thread unless `context` is gone. `progress`, when
// given, follows the attempt, and its askToStop() ends it at the next safe
// point while photos go: those on their way are dropped as a lost connection
// drops them and the entry waits as after one (PhotosFailed). Once the
// record goes, the answer decides.
void run(FilingServices &services, OutboxEntry entry, QObject *context, Done done,
         FilingProgress *progress = nullptr);

// Why an entry whose photo file is gone or damaged failed.
QString photoDamagedMessage();

// The service said no and why: sending it again would change nothing.
bool isRefusal(const ServiceFailure &failure);

} // namespace delivery

} // namespace orvelle
