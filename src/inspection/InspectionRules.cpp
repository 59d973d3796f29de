#include "InspectionRules.h"

#include "InspectionRecords.h"
#include "core/Logging.h"
#include "net/Endpoints.h"
#include "session/User.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>

namespace orvelle {

QString departmentText(const User &user)
{
    return user.ou1().value_or(QString()) + QLatin1Char('/') + user.ou2().value_or(QString());
}

QString allapproveOf(const QList<OnXCheckitem> &items)
{
    for (const OnXCheckitem &item : items) {
        if (item.isapprove && item.isapprove->isEmpty())
            break;
        if (item.isapprove == QStringLiteral("1"))
            return QStringLiteral("0");
    }
    return QStringLiteral("1");
}

bool hasUnjudged(const QList<OnXCheckitem> &items)
{
    return std::any_of(items.begin(), items.end(), [](const OnXCheckitem &item) {
        return item.isapprove && item.isapprove->isEmpty();
    });
}

QJsonObject todaySheetsParameters(const QString &notesServer, const QString &key, const User &user)
{
    return {
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::todayCheckByQzdept},
        {QStringLiteral("server"), notesServer},
        {QStringLiteral("key"), key},
        {QStringLiteral("qzDept"), departmentText(user)},
    };
}

QJsonObject blankSheetParameters(const QString &notesServer, const QString &key)
{
    return {
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::projectByKey},
        {QStringLiteral("server"), notesServer},
        {QStringLiteral("key"), key},
    };
}

QString keptBlankSheetName(const QString &key)
{
    return QStringLiteral("blank/") + key;
}

QString unknownItemText()
{
    return QStringLiteral("未知检查项");
}

std::optional<QString> checkPointKey(const QString &scannedText)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(scannedText.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        qCDebug(lcScan).noquote() << QStringLiteral("Error parsing JSON: ") + error.errorString();
        return std::nullopt;
    }
    const QJsonValue key = document.object().value(QLatin1String("key"));
    if (!document.isObject() || !key.isString())
        return std::nullopt;
    return key.toString();
}

QStringList splitPhotoAddresses(const std::optional<QString> &text)
{
    if (!text)
        return {};
    return text->split(QStringLiteral("----"), Qt::SkipEmptyParts);
}

} // namespace orvelle
