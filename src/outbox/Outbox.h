#pragma once

#include "net/ServiceClient.h"
#include "store/DeviceStore.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <chrono>

namespace orvelle {

class PhotoUploader;
class Scheduler;
class User;

// A record field filled with the addresses of one photo group, in order.
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
};

// Delivers filed sheets and reports of the signed-in account, one at a time,
// oldest first, each exactly once: a photo's address is kept as soon as the
// file store answers, and a record request that may have reached the service
// is sent again only once today's sheets show it did not arrive (a hazard
// report, on the user's word). A network failure is tried again later,
// waiting longer each time up to a few minutes.
class Outbox : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int waitingCount READ waitingCount NOTIFY changed)

public:
    static constexpr std::chrono::seconds firstRetry{5};
    static constexpr std::chrono::seconds lastRetry{300};

    Outbox(DeviceStore &store, ServiceClient &client, PhotoUploader &uploader, User &account,
           Scheduler &scheduler, QObject *parent = nullptr);

    // Moves the form's draft into the outbox and sends it ahead of the
    // others. The entry's id, or 0 when the store refused.
    qint64 submit(const Submission &submission);
    // After a start: an entry killed while its record was on the way may
    // have arrived; photos nothing refers to are removed. Then sends.
    Q_INVOKABLE void start();
    // Sends what waits now ("重试").
    Q_INVOKABLE void retry();
    // The user's word that an entry that may have arrived is to be sent again.
    Q_INVOKABLE void resend(qint64 id);
    // Takes an entry out that is not on its way.
    void withdraw(qint64 id);
    // The service said no and why: sending it again would change nothing.
    static bool isRefusal(const ServiceFailure &failure);

    // Entries not yet delivered: waiting, failed or maybe delivered.
    int waitingCount() const;
    QList<OutboxEntry> entries() const;
    // A sheet that may have arrived is looked for among today's sheets;
    // anything else that may have arrived waits for `resend`.
    static bool checksDelivery(const OutboxEntry &entry);
    bool isSending() const { return m_current != 0; }

signals:
    void changed();
    // The service filed the entry; `answer` is its whole answer.
    void delivered(qint64 id, const QJsonObject &answer);
    // A photo of the entry was not stored; the record was not sent.
    void photosFailed(qint64 id);
    void recordFailed(qint64 id, const ServiceFailure &failure);

private:
    QString account() const;
    // With `firstOnly`, only a just-filed entry goes, if there is one.
    void sendNext(bool firstOnly = false);
    void uploadGroup(OutboxEntry entry, int fieldIndex);
    void sendRecord(const OutboxEntry &entry);
    void checkDelivery(const OutboxEntry &entry);
    void recordAnswered(qint64 id, const ServiceFailure &failure);
    void endAttempt(bool networkDown);
    void scheduleRetry();

    DeviceStore &m_store;
    ServiceClient &m_client;
    PhotoUploader &m_uploader;
    User &m_account;
    Scheduler &m_scheduler;
    qint64 m_current = 0;
    qint64 m_first = 0;    // sent ahead of the queue
    bool m_paused = false; // until the account signs in again
    bool m_retryDue = false;
    std::chrono::seconds m_backoff{firstRetry};
    int m_generation = 0; // retries scheduled before a "重试" are dropped
};

} // namespace orvelle
