#include "FuzzTarget.h"

#include "net/Answers.h"
#include "net/PhotoUploader.h"

#include <QJsonObject>

// A file-store answer gives an address only when it says it stored the photo.
ORVELLE_FUZZ_TARGET(upload_answer)
{
    const auto json = orvelle::answers::parseJson(orvelle::fuzz::bytes(data, size));
    if (!json)
        return 0;
    const auto address = orvelle::PhotoUploader::photoAddress(*json);
    if (!address)
        return 0;
    const QJsonObject object = json->toObject();
    FUZZ_CHECK(json->isObject());
    FUZZ_CHECK(object.value(QLatin1String("success")).toBool()
               || object.value(QLatin1String("success")).toDouble() == 1.0);
    FUZZ_CHECK(address->endsWith(object.value(QLatin1String("httpUrl")).toString()));
    FUZZ_CHECK(address->startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
               || address->startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
    return 0;
}
