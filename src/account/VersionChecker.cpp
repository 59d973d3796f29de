#include "VersionChecker.h"

#include "core/JsonRecordReader.h"
#include "core/Logging.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"

#include <QMetaObject>
#include <QRegularExpression>

namespace orvelle {

using namespace std::chrono_literals;

namespace {
std::optional<QString> textEntry(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

} // namespace

std::optional<Version> Version::fromAnswer(const QJsonObject &json)
{
    const QJsonValue entry = json.value(QLatin1String("version"));
    if (!entry.isObject())
        return std::nullopt;
    const QJsonObject object = entry.toObject();
    Version version;
    version.v_title = textEntry(object, "v_title");
    version.v_number = jsonWholeNumber(object.value(QLatin1String("v_number")));
    version.v_address = textEntry(object, "v_address");
    version.v_memo = textEntry(object, "v_meno");
    version.v_connect = QString();
    version.v_edition = QStringLiteral("ios");
    return version;
}

std::optional<qint64> parseBuildNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

VersionChecker::Query VersionChecker::serviceQuery(ServiceClient &client)
{
    return [&client](QObject *requester, OnAnswer onAnswer, OnFailure onFailure) {
        client.sendFormRequest(
            endpoints::form::queryVersion, {{QStringLiteral("edition"), QStringLiteral("ios")}},
            requester,
            [onAnswer](const std::optional<QString> &, qint64, const QJsonObject &json) {
                onAnswer(json);
            },
            [onFailure](qint64 code, const QString &message) { onFailure(int(code), message); });
    };
}

VersionChecker::VersionChecker(Query query, const QString &installedBuild, Scheduler &scheduler,
                               UrlOpener &opener, QObject *parent)
    : QObject(parent)
    , m_query(std::move(query))
    , m_installedBuild(parseBuildNumber(installedBuild))
    , m_scheduler(scheduler)
    , m_opener(opener)
{
    connect(&m_alert, &AlertState::acknowledged, this, &VersionChecker::confirmUpdate);
    if (!m_installedBuild)
        qCDebug(lcVersion) << "installed build" << installedBuild
                           << "is not a number; the version check is skipped";
}

void VersionChecker::check()
{
    if (m_updateCompleted || !m_installedBuild)
        return;
    m_query(
        this, [this](const QJsonObject &json) { handleAnswer(json); },
        [](int code, const QString &message) {
            qCDebug(lcVersion) << "version query failed:" << code << message;
        });
}

void VersionChecker::handleAnswer(const QJsonObject &json)
{
    const std::optional<Version> version = Version::fromAnswer(json);
    if (!version) {
        qCDebug(lcVersion) << "version query failed:" << -1 << QStringLiteral("数据错误!!!");
        return;
    }
    if (!m_installedBuild || *m_installedBuild >= version->v_number.value_or(0))
        return;
    // After the current event, as the alert belongs to the next frame.
    QMetaObject::invokeMethod(
        this, [this, v = *version] { announce(v); }, Qt::QueuedConnection);
}

void VersionChecker::announce(const Version &version)
{
    m_announcedAddress = version.v_address.value_or(QString());
    m_updateUrl = webAddress(m_announcedAddress);
    emit updateUrlChanged();
    m_alert.show(version.v_memo.value_or(QStringLiteral("请更新到新版本")));
}

void VersionChecker::confirmUpdate()
{
    if (m_updateUrl)
        m_opener.open(*m_updateUrl);
    else if (!m_announcedAddress.isEmpty())
        qCDebug(lcVersion) << "update address is not an http(s) address, not opened:"
                           << loggedAddress(QUrl(m_announcedAddress));
    // The alert comes back: an outdated client stays behind it.
    m_scheduler.runAfter(100ms, this, [this] { m_alert.show(m_alert.message()); });
}

} // namespace orvelle
