#pragma once

#include "store/OfflineCopy.h"

#include <QObject>
#include <QStringList>
#include <chrono>

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
    bool m_loading = false;
};

} // namespace orvelle
