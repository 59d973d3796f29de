#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

namespace orvelle {

class DeviceStore;
class ServiceClient;

// Keeps the blank sheet of every check point on today's list on the device,
// so a round can be filled in where there is no network. Fetched in the
// background a few at a time; the lists and the sheets go on meanwhile.
class BlankSheets : public QObject
{
    Q_OBJECT

public:
    // With no store nothing is kept.
    BlankSheets(ServiceClient &client, const QString &notesServer, DeviceStore *store,
                const QString &account, QObject *parent = nullptr);

    // Today's check points were listed: `fresh` when the service has just
    // answered, so every sheet is fetched again; a kept list only looks up
    // which are kept.
    void listed(const QStringList &keys, bool fresh);
    bool isKept(const QString &key) const { return m_kept.contains(key); }

    static constexpr int requestsAtOnce = 3;

signals:
    // A sheet was kept (or refreshed).
    void changed();

private:
    void next();
    void fetch(const QString &key);

    ServiceClient &m_client;
    QString m_notesServer;
    DeviceStore *m_store;
    QString m_account;
    QSet<QString> m_kept;
    QStringList m_waiting;
    // Keys whose request is on its way.
    QSet<QString> m_running;
};

} // namespace orvelle
