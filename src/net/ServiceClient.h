#pragma once

#include "core/AppConfig.h"
#include "net/DeviceInfo.h"
#include "net/TlsTrust.h"

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace orvelle {

class Session;

// The decoded envelope of every service answer.
struct AppResponse
{
    std::optional<QString> msg;
    qint64 code = 0;
    // The whole answer, "code" and "msg" included.
    QJsonObject json;

    // Nothing when the object is not a valid envelope.
    static std::optional<AppResponse> decode(const QJsonObject &json);
};

// A failure as the failure handler receives it.
struct ServiceFailure
{
    qint64 code = 0;
    QString message;
    // The request may have reached the service and been acted on: some of it
    // was sent before the connection failed, or an answer came that does not
    // read. Sending it again could file it twice.
    bool mayHaveArrived = false;
};

// Reads an answer body that arrived whole: its envelope, or -2 "网络错误!" (not
// JSON) or -1 "返回数据错误" (not an envelope). The result code is left to the caller.
std::variant<AppResponse, ServiceFailure> readAnswer(const QByteArray &body);

// Called for code 1 only.
using SuccessHandler =
    std::function<void(const std::optional<QString> &msg, qint64 code, const QJsonObject &json)>;
// Every other outcome: -2 "网络错误!", -1 "返回数据错误", or the service's code and "msg".
using FailureHandler = std::function<void(qint64 code, const QString &message)>;
// The same, told whether the request may have reached the service.
using RecordFailureHandler = std::function<void(const ServiceFailure &failure)>;

// Posts to the inspection service with the common parameters and reads its
// result-code convention. Handlers run on the GUI thread, and not at all once
// `context` is destroyed: a read is then aborted on the wire, while a record
// runs on and what the client itself does with its answer (code 9 signs the
// user out) still happens. Nothing is retried.
class ServiceClient : public QObject
{
    Q_OBJECT

public:
    // The session's account gives the common "mobile" and "token"; code 9
    // ends the sign-in the request was made under. Without a trust of its
    // own to share, the client makes one.
    ServiceClient(const AppConfig &config, Session &session, std::shared_ptr<TlsTrust> trust = {},
                  QObject *parent = nullptr);
    ~ServiceClient() override;

    // Form-encoded body: keys sorted, arrays as repeated "key[]", booleans 1/0.
    void sendFormRequest(const QString &path, const QJsonObject &parameters, QObject *context,
                         SuccessHandler onSuccess, FailureHandler onFailure);
    // The parameters as one JSON object.
    void sendJSONRequest(const QString &path, const QJsonObject &parameters, QObject *context,
                         SuccessHandler onSuccess, FailureHandler onFailure);

    // A JSON request that files a record: it is sent once, never again by
    // the network layer, and its failure says whether it may have reached
    // the service.
    void sendRecord(const QString &path, const QJsonObject &parameters, QObject *context,
                    SuccessHandler onSuccess, RecordFailureHandler onFailure);

    // The caller's parameters with the common ones added.
    QJsonObject withCommonParameters(QJsonObject parameters) const;
    static QByteArray formEncode(const QJsonObject &parameters);

    // 60 s unless a test needs a short one.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    QString baseAddress() const;
    // The service's clock as its last answer's Date header set it (the
    // device's own before any), in UTC.
    QDateTime serviceNow() const;

private:
    // `makeBody` runs when the request goes.
    void post(const QString &path, const QByteArray &contentType,
              std::function<QByteArray()> makeBody, QObject *context, SuccessHandler onSuccess,
              RecordFailureHandler onFailure, bool once = false);
    // `once`: the body is never sent again by the network layer.
    QNetworkReply *send(const QString &path, const QByteArray &contentType, const QByteArray &body,
                        const QSslConfiguration &tls, bool once);
    std::function<QByteArray()> jsonBody(const QJsonObject &parameters) const;
    struct Sent
    {
        QString path;
        quint64 generation; // of the session the request went under
        qint64 elapsedMs;
        bool bodyStarted;
    };
    void noteServiceTime(const QNetworkReply *reply);
    void finish(QNetworkReply *reply, const Sent &sent, const QPointer<QObject> &context,
                const SuccessHandler &onSuccess, const RecordFailureHandler &onFailure);

    AppConfig m_config;
    Session &m_session;
    std::shared_ptr<TlsTrust> m_trust;
    DeviceInfo m_device;
    QNetworkAccessManager *m_network;
    std::chrono::milliseconds m_timeout{60000};
    qint64 m_serviceClockOffsetMs = 0; // the service's clock minus the device's
};

} // namespace orvelle
