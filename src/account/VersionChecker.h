#pragma once

#include "core/AlertState.h"
#include <QJsonObject>
#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>

namespace orvelle {

class Scheduler;
class ServiceClient;
class UrlOpener;

// The newest published release, as the version query answers it.
struct Version
{
    std::optional<QString> v_title;
    std::optional<qint64> v_number;
    std::optional<QString> v_address;
    std::optional<qint64> id;         // not on the wire
    std::optional<QString> v_memo;    // wire key "v_meno"
    std::optional<QString> v_connect; // not on the wire
    std::optional<QString> v_edition; // not on the wire

    // Reads the "version" entry of an answer; absent when there is none or it
    // is not an object. Wrongly typed entries give absent fields.
    static std::optional<Version> fromAnswer(const QJsonObject &json);
};

// Decimal digits with an optional sign, nothing else; absent otherwise.
std::optional<qint64> parseBuildNumber(const QString &text);

// Asks the service for the newest release each time a main screen appears and
// keeps the update alert up once the installed build is older.
class VersionChecker : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application")
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(QUrl updateURL READ updateUrlValue NOTIFY updateUrlChanged)
    // Nothing in this client completes an update: it stays false.
    Q_PROPERTY(bool updateCompleted READ updateCompleted CONSTANT)

public:
    using OnAnswer = std::function<void(const QJsonObject &json)>;
    using OnFailure = std::function<void(int code, const QString &message)>;
    // Sends "/notes/QueryVersion2"; the callbacks are not called once the
    // context is gone.
    using Query = std::function<void(QObject *context, OnAnswer, OnFailure)>;

    // "/notes/QueryVersion2" with "edition" "ios" through the service client.
    static Query serviceQuery(ServiceClient &client);

    VersionChecker(Query query, const QString &installedBuild, Scheduler &scheduler,
                   UrlOpener &opener, QObject *parent = nullptr);

    AlertState *alert() { return &m_alert; }
    std::optional<QUrl> updateURL() const { return m_updateUrl; }
    QUrl updateUrlValue() const { return m_updateUrl.value_or(QUrl()); }
    bool updateCompleted() const { return m_updateCompleted; }

    // A main screen appeared.
    Q_INVOKABLE void check();

    // The answer of one query (public for the screens' tests).
    void handleAnswer(const QJsonObject &json);

signals:
    void updateUrlChanged();

private:
    void announce(const Version &version);
    // "确认" of the update alert.
    void confirmUpdate();

    Query m_query;
    std::optional<qint64> m_installedBuild;
    Scheduler &m_scheduler;
    UrlOpener &m_opener;
    AlertState m_alert;
    std::optional<QUrl> m_updateUrl;
    QString m_announcedAddress;
    bool m_updateCompleted = false;
};

} // namespace orvelle
