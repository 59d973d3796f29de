#include "FuzzTarget.h"

#include "inspection/InspectionRules.h"

#include <QJsonDocument>
#include <QJsonObject>

// The text of any code scanned on a task list: only the text of "key" in a
// JSON object picks a check point.
ORVELLE_FUZZ_TARGET(check_point_code)
{
    const QString text = QString::fromUtf8(orvelle::fuzz::bytes(data, size));
    const std::optional<QString> key = orvelle::checkPointKey(text);
    if (!key)
        return 0;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    FUZZ_CHECK(document.isObject());
    FUZZ_CHECK(document.object().value(QLatin1String("key")).toString() == *key);
    return 0;
}
