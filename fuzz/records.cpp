#include "FuzzTarget.h"

#include "account/VersionChecker.h"
#include "core/JsonRecordReader.h"
#include "hazard/HazardRecords.h"
#include "inspection/InspectionRecords.h"

#include <QJsonDocument>

using namespace orvelle;

namespace {

// The rules every answer record shares: nothing partial, a faulty "checkitems"
// never fails the record, keys the record does not name change nothing.
template <typename Record> std::optional<Record> decodeChecked(const QJsonObject &json)
{
    std::optional<Record> record = decodeRecord<Record>(json);

    QJsonObject withoutList = json;
    withoutList.remove(QLatin1String("checkitems"));
    const std::optional<Record> rest = decodeRecord<Record>(withoutList);
    FUZZ_CHECK(record.has_value() == rest.has_value());

    QJsonObject withStranger = json;
    withStranger.insert(QLatin1String("checkitems_"), QJsonValue(7));
    FUZZ_CHECK(record.has_value() == decodeRecord<Record>(withStranger).has_value());
    return record;
}

template <typename Record> void listRecord(const QJsonObject &json)
{
    const auto record = decodeChecked<Record>(json);
    if (record && record->checkitems && json.value(QLatin1String("checkitems")).isArray())
        FUZZ_CHECK(record->checkitems->size()
                   == json.value(QLatin1String("checkitems")).toArray().size());
}

void blankSheet(const QJsonObject &json)
{
    listRecord<OnInspectionDetaildData>(json);
    const auto sheet = decodeRecord<OnInspectionDetaildData>(json);
    if (!sheet || !sheet->checkitems)
        return;
    for (const OnCheckitem &item : *sheet->checkitems) {
        FUZZ_CHECK(item.id.has_value());
        // The sheet is submitted with all seven keys of each item.
        FUZZ_CHECK(OnXCheckitem::fromBlank(item).toJson().size() == 7);
    }
}

void version(const QJsonObject &json)
{
    const auto record = Version::fromAnswer(json);
    FUZZ_CHECK(record.has_value() == json.value(QLatin1String("version")).isObject());
    if (record)
        FUZZ_CHECK(!record->id && record->v_connect == QString()
                   && record->v_edition == QLatin1String("ios"));
}

using Decoder = void (*)(const QJsonObject &);
// Chosen by the first byte; the corpus files begin with the digit of theirs.
const Decoder decoders[] = {
    listRecord<TodayInspectionData>,
    blankSheet,
    listRecord<DetailTodayInspectionDetailData>,
    listRecord<DetailitemTodayData>,
    [](const QJsonObject &json) { decodeChecked<OnInspectionModel>(json); },
    listRecord<PlacedData>,
    [](const QJsonObject &json) { decodeChecked<SHazardDescriptorModel>(json); },
    version,
};

} // namespace

// A success answer's object, decoded as the record its endpoint answers with.
ORVELLE_FUZZ_TARGET(records)
{
    if (size == 0)
        return 0;
    const Decoder decoder = decoders[data[0] % std::size(decoders)];
    const QJsonDocument document = QJsonDocument::fromJson(fuzz::bytes(data + 1, size - 1));
    if (document.isObject())
        decoder(document.object());
    return 0;
}
