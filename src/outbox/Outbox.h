#pragma once

#include "outbox/Delivery.h"
#include "outbox/FilingProgress.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <chrono>

namespace orvelle {

class Scheduler;

// Delivers filed sheets and reports of the signed-in account, one at a time,
// the oldest due first, each exactly once: a photo's address is kept as soon
// as the file store answers, and a record request that may have reached the
// service is sent again only once the day's sheets show it did not arrive (a
// hazard report, on the user's word). An entry that failed rests, longer each
// time up to a few minutes, while the ones behind it go. It follows the
// session: it sends only while the account that made an entry is signed in.
// It stops when an entry's mark cannot be written.
class Outbox : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int waitingCount READ waitingCount NOTIFY changed)
    Q_PROPERTY(QString problem READ problem NOTIFY changed)

public:
    static constexpr std::chrono::seconds firstRetry{5};
    static constexpr std::chrono::seconds lastRetry{300};

    Outbox(FilingServices services, Scheduler &scheduler, QObject *parent = nullptr);

    using Filed = std::function<void(qint64 id, const Delivery::Result &result)>;
    // Moves the form's saved draft into the outbox and delivers it at once,
    // beside the queue; `done` gets the entry and this attempt's result, and
    // `progress` follows it. False when the store refused (then `done` is
    // not called).
    bool file(const Submission &submission, QObject *context, Filed done,
              FilingProgress *progress = nullptr);
    // After a start: an entry killed while its record was on the way may
    // have arrived; photos nothing refers to are removed. Then sends.
    Q_INVOKABLE void start();
    // Sends what waits now ("重试"); after a store failure, tries the store again.
    Q_INVOKABLE void retry();
    // The user's word that an entry that may have arrived is to be sent again.
    Q_INVOKABLE void resend(qint64 id);
    // Takes an entry out that is not on its way; the form it came from is a
    // draft again.
    void withdraw(qint64 id);

    // The user's actions on an entry that is not on its way; false when the
    // entry may not take it. "删除": it and its photos go.
    bool remove(qint64 id);
    // "已提交": an entry that may have arrived did; it goes without being sent.
    bool confirmDelivered(qint64 id);
    // "编辑": a waiting or failed entry becomes the draft it was filed from.
    bool edit(qint64 id);
    bool canRemove(const OutboxEntry &entry) const;
    bool canConfirm(const OutboxEntry &entry) const;
    bool canEdit(const OutboxEntry &entry) const;
    // Photos or record of the entry are on their way.
    bool isBusy(qint64 id) const { return id == m_current || m_filing.contains(id); }

    // Whose entries these are: the account signed in last.
    QString account() const { return m_account; }
    // Entries not yet delivered: waiting, failed or maybe delivered.
    int waitingCount() const;
    QList<OutboxEntry> entries() const;
    // A sheet of today that may have arrived is looked for among today's
    // sheets; anything else that may have arrived waits for `resend`.
    bool checksDelivery(const OutboxEntry &entry) const;
    bool isSending() const { return m_current != 0 || !m_filing.isEmpty(); }
    // How far the entry on its way has come; null for one that is not.
    const FilingProgress *progress(qint64 id) const;
    // Why the outbox stopped: a mark of an entry could not be written, so
    // sending on might file something twice. "" while it works.
    QString problem() const { return m_problem; }

signals:
    void changed();
    // The service filed the entry; `answer` is its whole answer.
    void delivered(qint64 id, const QJsonObject &answer);
    // An attempt ended without delivering the entry.
    void attemptFailed(qint64 id, const Delivery::Result &result);
    // The entry on its way came further (a few times a second at most).
    void progressed(qint64 id);

private:
    void follow(const QString &account);
    void takeOlderWork();
    // The account whose entries these are is signed in and the store is open.
    bool sends() const;
    void sendNext();
    void checkDelivery(const OutboxEntry &entry);
    void deliver(const OutboxEntry &entry);
    void attemptEnded(qint64 id, const Delivery::Result &result);
    // The entry rests a while; the others go meanwhile.
    void rest(qint64 id);
    std::optional<OutboxEntry> find(qint64 id) const;
    bool removeNow(qint64 id);
    bool setState(const OutboxEntry &entry, OutboxState state, const QString &reason = {});
    void stop(const QString &storeError);
    void watch(qint64 id, FilingProgress *progress);

    struct Backoff
    {
        std::chrono::seconds next{firstRetry};
        bool resting = false;
    };

    FilingServices m_services;
    Scheduler &m_scheduler;
    QString m_account;
    bool m_active = false;
    // The queue's entry on its way, and those a form is delivering itself.
    qint64 m_current = 0;
    FilingProgress m_currentProgress;
    QHash<qint64, QPointer<FilingProgress>> m_filing;
    QHash<qint64, Backoff> m_backoffs;
    // Sheets the day's list did not show once; a second miss sends them again.
    QSet<qint64> m_missedOnce;
    QString m_problem;
    int m_generation = 0; // rests scheduled before a "重试" are dropped
};

} // namespace orvelle
