#pragma once

#include "store/OfflineCopy.h"

#include <QObject>
#include <QStringList>
#include <chrono>
#include <memory>

namespace orvelle {

class DeviceStore;
class ServiceClient;

// The standard places of the hazard form ("/notes/notesStandardPlace"),
// and, out of reach of the service, the list as it was last loaded.
class StandardPlaces : public QObject
{
    Q_OBJECT

public:
    StandardPlaces(ServiceClient &client, const QString &notesServer, DeviceStore *store,
                   const QString &account, QObject *parent = nullptr);

    const QStringList &names() const { return m_names; }
    // A list has arrived at least once.
    bool loaded() const { return m_loaded; }
    // Asks the service again, unless a request is on its way.
    void load();
    // Asks the service when the kept list is missing or older than `age`.
    void loadIfOlderThan(std::chrono::hours age);
    // The form was left: the request stops on the wire, and nothing it
    // would have said arrives.
    void cancel() { m_read.reset(); }

signals:
    void arrived();
    void failed(const QString &message);

private:
    bool take(const QJsonObject &json);
    void fail(const QString &message);

    ServiceClient &m_client;
    QString m_notesServer;
    OfflineCopy m_kept;
    QStringList m_names;
    bool m_loaded = false;
    std::unique_ptr<QObject> m_read; // the context of the request on its way
};

} // namespace orvelle
