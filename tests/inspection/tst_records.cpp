#include "hazard/HazardRecords.h"
#include "inspection/InspectionRecords.h"
#include "support/TestData.h"

#include <QJsonDocument>
#include <QTest>

using namespace orvelle;

namespace {
// A decoded record under its wire keys (its fields' names), absent fields
// left out: for an answer of known, well-typed keys it is the answer itself.
#define F(field) Field(#field, v(r.field))
#define D(Record, ...)                                                                             \
    static QJsonObject d(const Record &r)                                                          \
    {                                                                                              \
        return o({__VA_ARGS__});                                                                   \
    }
struct Described
{
    using Field = std::pair<const char *, QJsonValue>;
    static QJsonObject o(std::initializer_list<Field> fields)
    {
        QJsonObject object;
        for (const auto &[key, value] : fields)
            if (!value.isUndefined())
                object.insert(QLatin1String(key), value);
        return object;
    }
    template <typename T> static QJsonValue v(const std::optional<T> &field)
    {
        if (!field)
            return QJsonValue::Undefined;
        if constexpr (std::is_same_v<T, QString> || std::is_same_v<T, qint64>) {
            return *field;
        } else {
            QJsonArray array;
            for (const auto &item : *field)
                array.append(d(item));
            return array;
        }
    }
    D(PlaceCheckitem, F(place))
    D(Checkitem, F(id), F(key), F(project), F(qzdept))
    D(OnCheckitem, F(id), F(projectitem), F(yhtype), F(yhtypes), F(yhlevel))
    D(DetailCheckitem, F(checkdate), F(checkname), F(checkpeople), F(frmno), F(id))
    D(DetailitemCheckitem, F(distription), F(id), F(isapprove), F(projectitem), F(yhlevel),
      F(yhtype), F(yhtypes))
    D(PlacedData, F(checkitems), F(code), F(db), F(dbVw), F(msg), F(server))
    D(SHazardDescriptorModel, F(code), F(db), F(docid), F(frmno), F(msg), F(server))
    D(TodayInspectionData, F(checkitems), F(code), F(db), F(dbvw), F(msg), F(server))
    D(OnInspectionDetaildData, F(checkdept), F(checkitems), F(checkname), F(checkpl), F(code),
      F(key), F(msg), F(place), F(rowcount), F(yhfrom))
    D(DetailTodayInspectionDetailData, F(checkitems), F(code), F(db), F(dbVw), F(msg), F(server))
    D(DetailitemTodayData, F(checkdept), F(checkitems), F(code), F(frmno), F(image), F(msg),
      F(rowcount))
    D(OnInspectionModel, F(checkdept), F(checkname), F(code), F(db), F(docid), F(frmno), F(msg),
      F(server))
};
#undef D
#undef F

// Null when the record does not decode.
template <typename Record> QJsonValue decoded(const QJsonObject &answer)
{
    const std::optional<Record> record = decodeRecord<Record>(answer);
    return record ? QJsonValue(Described::d(*record)) : QJsonValue();
}
const QHash<QString, QJsonValue (*)(const QJsonObject &)> decoders{
    {"places", decoded<PlacedData>},
    {"hazard created", decoded<SHazardDescriptorModel>},
    {"today", decoded<TodayInspectionData>},
    {"blank sheet", decoded<OnInspectionDetaildData>},
    {"sheets", decoded<DetailTodayInspectionDetailData>},
    {"submitted sheet", decoded<DetailitemTodayData>},
    {"created", decoded<OnInspectionModel>},
};
} // namespace

// The answers of the service under their typing rules: a faulty list is
// absent, a wrongly typed field fails the record, null is absent, a whole
// number may have a point and 64-bit numbers arrive exactly.
class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void answersDecode_data() { orvelle::test::addRows(QStringLiteral("inspection/records.json")); }
    void answersDecode()
    {
        QFETCH(QJsonObject, row);
        const QJsonValue given = row["answer"];
        const QJsonObject answer = given.isString()
                                       ? QJsonDocument::fromJson(given.toString().toUtf8()).object()
                                       : given.toObject();
        const auto decode = decoders.value(row["type"].toString());
        QVERIFY(decode);
        QCOMPARE(decode(answer), row.contains("decoded") ? row["decoded"] : given);
    }

    // Always the seven keys, an absent field as null, nothing judged yet. (A
    // report's item is in tst_hazard_form's bodies, its description twice.)
    void itemsAreSentWithAllSevenKeys()
    {
        OnCheckitem blank;
        blank.id = QStringLiteral("3");
        blank.projectitem = QStringLiteral("护栏");
        QCOMPARE(OnXCheckitem::fromBlank(blank).toJson(),
                 orvelle::test::recordIn(QStringLiteral("inspection/sent-items.json"), "fresh"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
