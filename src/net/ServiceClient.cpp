#include "ServiceClient.h"

#include "core/Logging.h"
#include "net/Answers.h"
#include "net/Endpoints.h"
#include "net/OneShotBody.h"
#include "session/Session.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <algorithm>
#include <limits>

namespace orvelle {

namespace {
const QString networkError = QStringLiteral("网络错误!");
const QString badAnswer = QStringLiteral("返回数据错误");

// Text codes are decimal: an optional sign, then digits only. \z, since "$"
// also matches before a final newline.
std::optional<qint64> codeFromText(const QString &text)
{
    static const QRegularExpression decimal(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

std::optional<qint64> codeFrom(const QJsonValue &value)
{
    if (value.isString()) {
        if (const auto code = codeFromText(value.toString()))
            return code;
    }
    if (!value.isDouble())
        return std::nullopt;
    // A whole number in the 64-bit range; toInteger answers the default otherwise.
    const qint64 a = value.toInteger(std::numeric_limits<qint64>::min());
    const qint64 b = value.toInteger(std::numeric_limits<qint64>::max());
    return a == b ? std::optional(a) : std::nullopt;
}

QByteArray formText(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? "1" : "0";
    case QJsonValue::Double:
        if (value.toInteger(0) == value.toInteger(1))
            return QByteArray::number(value.toInteger());
        return QByteArray::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QJsonValue::String:
        return value.toString().toUtf8();
    default:
        return {};
    }
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

void appendForm(QList<QByteArray> &pairs, const QString &key, const QJsonValue &value)
{
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            appendForm(pairs, key + QStringLiteral("[]"), element);
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (const QString &inner : sortedKeys(object))
            appendForm(pairs, key + u'[' + inner + u']', object.value(inner));
    } else {
        pairs.append(key.toUtf8().toPercentEncoding() + '=' + formText(value).toPercentEncoding());
    }
}
RecordFailureHandler plainFailure(FailureHandler onFailure)
{
    if (!onFailure)
        return {};
    return [onFailure = std::move(onFailure)](const ServiceFailure &failure) {
        onFailure(failure.code, failure.message);
    };
}
} // namespace

std::optional<AppResponse> AppResponse::decode(const QJsonObject &json)
{
    if (json.isEmpty() || !json.contains(QLatin1String("code")))
        return std::nullopt;
    const auto code = codeFrom(json.value(QLatin1String("code")));
    if (!code)
        return std::nullopt;
    AppResponse response;
    response.code = *code;
    response.json = json;
    const QJsonValue msg = json.value(QLatin1String("msg"));
    if (msg.isString())
        response.msg = msg.toString();
    return response;
}

std::variant<AppResponse, ServiceFailure> readAnswer(const QByteArray &body)
{
    const auto json = answers::parseJson(body);
    if (!json)
        return ServiceFailure{-2, networkError};
    if (!json->isObject())
        return ServiceFailure{-1, badAnswer};
    if (auto response = AppResponse::decode(json->toObject()))
        return std::move(*response);
    return ServiceFailure{-1, badAnswer};
}

ServiceClient::ServiceClient(const AppConfig &config, Session &session,
                             std::shared_ptr<TlsTrust> trust, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_session(session)
    , m_trust(trustOrOwn(std::move(trust), config.caFile))
    , m_device(config)
    , m_network(new QNetworkAccessManager(this))
{
    answers::followNoRedirect(m_network);
}

ServiceClient::~ServiceClient() = default;

QString ServiceClient::baseAddress() const
{
    return QStringLiteral("https://%1:%2%3")
        .arg(m_config.serviceHost)
        .arg(endpoints::port)
        .arg(endpoints::serviceBase);
}

QJsonObject ServiceClient::withCommonParameters(QJsonObject parameters) const
{
    const QString ios = QStringLiteral("ios");
    parameters.insert(QStringLiteral("PhoneAppType"), ios);
    parameters.insert(QStringLiteral("PhoneDeviceBrand"), QStringLiteral("Apple"));
    parameters.insert(QStringLiteral("PhoneSystemModel"), m_device.modelName());
    parameters.insert(QStringLiteral("PhoneSystemDevice"), m_device.deviceName());
    parameters.insert(QStringLiteral("PhoneSystemVersion"), m_device.systemVersion());
    parameters.insert(QStringLiteral("verson"), ios);
    const User &user = m_session.account();
    if (!parameters.contains(QLatin1String("mobile")) && user.mobile())
        parameters.insert(QStringLiteral("mobile"), *user.mobile());
    if (!parameters.contains(QLatin1String("token")) && user.token())
        parameters.insert(QStringLiteral("token"), *user.token());
    return parameters;
}

QByteArray ServiceClient::formEncode(const QJsonObject &parameters)
{
    QList<QByteArray> pairs;
    for (const QString &key : sortedKeys(parameters))
        appendForm(pairs, key, parameters.value(key));
    return pairs.join('&');
}

void ServiceClient::sendFormRequest(const QString &path, const QJsonObject &parameters,
                                    QObject *context, SuccessHandler onSuccess,
                                    FailureHandler onFailure)
{
    post(
        path, "application/x-www-form-urlencoded; charset=utf-8",
        [this, parameters] { return formEncode(withCommonParameters(parameters)); }, context,
        std::move(onSuccess), plainFailure(std::move(onFailure)));
}

void ServiceClient::sendJSONRequest(const QString &path, const QJsonObject &parameters,
                                    QObject *context, SuccessHandler onSuccess,
                                    FailureHandler onFailure)
{
    post(path, "application/json", jsonBody(parameters), context, std::move(onSuccess),
         plainFailure(std::move(onFailure)));
}

void ServiceClient::sendRecord(const QString &path, const QJsonObject &parameters, QObject *context,
                               SuccessHandler onSuccess, RecordFailureHandler onFailure)
{
    post(path, "application/json", jsonBody(parameters), context, std::move(onSuccess),
         std::move(onFailure), true);
}

std::function<QByteArray()> ServiceClient::jsonBody(const QJsonObject &parameters) const
{
    return [this, parameters] {
        return QJsonDocument(withCommonParameters(parameters)).toJson(QJsonDocument::Compact);
    };
}

void ServiceClient::post(const QString &path, const QByteArray &contentType,
                         std::function<QByteArray()> makeBody, QObject *context,
                         SuccessHandler onSuccess, RecordFailureHandler onFailure, bool once)
{
    // A null context means the caller has no screen to outlive.
    const QPointer<QObject> guard(context);
    const bool guarded = context != nullptr;
    // The common parameters are read when the request goes: the token may
    // still be on its way from the keychain when the request is made.
    m_session.account().whenTokenKnown(this, [=, this, onSuccess = std::move(onSuccess),
                                              onFailure = std::move(onFailure)]() mutable {
        m_trust->whenReady(this, [=, this](const QSslConfiguration &tls) {
            // A read whose screen went before it could go is not sent; a
            // record is, as an immediate send would have been.
            if (guarded && !guard && !once)
                return;
            const QByteArray body = makeBody();
            const quint64 generation = m_session.generation();
            QNetworkReply *reply = send(path, contentType, body, tls, once);
            answers::limitSize(reply);
            // A read nobody waits for only costs the link: it stops with its
            // screen. A record runs on: its answer says whether it arrived.
            if (guarded && !once)
                connect(guard.data(), &QObject::destroyed, reply, &QNetworkReply::abort);
            QElapsedTimer clock;
            clock.start();
            // Once bytes of the body are on their way the service may act on them.
            auto bodyStarted = std::make_shared<bool>(false);
            connect(
                reply, &QNetworkReply::uploadProgress, this,
                [bodyStarted](qint64 sent, qint64) { *bodyStarted = *bodyStarted || sent > 0; });
            connect(reply, &QNetworkReply::finished, this, [=, this] {
                const QPointer<QObject> target = guarded ? guard : QPointer<QObject>(this);
                finish(reply, {path, generation, clock.elapsed(), *bodyStarted}, target, onSuccess,
                       onFailure);
            });
        });
    });
}

QNetworkReply *ServiceClient::send(const QString &path, const QByteArray &contentType,
                                   const QByteArray &body, const QSslConfiguration &tls, bool once)
{
    QNetworkRequest request(QUrl(baseAddress() + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setTransferTimeout(int(m_timeout.count()));
    request.setSslConfiguration(tls);
    if (!once)
        return m_network->post(request, body);
    request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    auto *device = new OneShotBody(body);
    QNetworkReply *reply = m_network->post(request, device);
    device->setParent(reply);
    return reply;
}

QDateTime ServiceClient::serviceNow() const
{
    return QDateTime::currentDateTimeUtc().addMSecs(m_serviceClockOffsetMs);
}

void ServiceClient::noteServiceTime(const QNetworkReply *reply)
{
    // "Wed, 09 Dec 2026 08:30:00 GMT", as HTTP dates are written.
    QDateTime date =
        QLocale::c().toDateTime(QString::fromLatin1(reply->rawHeader("Date")).trimmed(),
                                QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!date.isValid())
        return;
    date.setTimeSpec(Qt::UTC);
    m_serviceClockOffsetMs = date.toMSecsSinceEpoch() - QDateTime::currentMSecsSinceEpoch();
}

void ServiceClient::finish(QNetworkReply *reply, const Sent &sent, const QPointer<QObject> &context,
                           const SuccessHandler &onSuccess, const RecordFailureHandler &onFailure)
{
    reply->deleteLater();
    noteServiceTime(reply);
    const QString &path = sent.path;
    const qint64 elapsedMs = sent.elapsedMs;
    const auto fail = [&](qint64 code, const QString &message, bool mayHaveArrived = false) {
        qCDebug(lcNet).nospace() << path << " " << elapsedMs << " ms code " << code;
        if (context && onFailure)
            onFailure(ServiceFailure{code, message, mayHaveArrived});
    };

    if (answers::transferFailed(reply)) {
        qCDebug(lcNet) << path << "transfer failed:" << reply->errorString();
        return fail(-2, networkError, sent.bodyStarted && !answers::refusedBeforeSending(reply));
    }
    const auto answer = readAnswer(reply->readAll());
    if (const auto *failure = std::get_if<ServiceFailure>(&answer))
        return fail(failure->code, failure->message, true);
    const auto *response = std::get_if<AppResponse>(&answer);
    if (response->code == 1) {
        qCDebug(lcNet).nospace() << path << " " << elapsedMs << " ms code 1";
        if (context && onSuccess)
            onSuccess(response->msg, 1, response->json);
        return;
    }
    if (response->code == 9)
        m_session.endedByService(sent.generation);
    fail(response->code, response->msg.value_or(QString()));
}

} // namespace orvelle
