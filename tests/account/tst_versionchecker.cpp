#include "account/VersionChecker.h"
#include "core/UrlOpener.h"
#include "support/ManualScheduler.h"
#include "support/TestData.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace std::chrono_literals;
using orvelle::test::addRows;
using orvelle::test::ManualScheduler;

namespace {
QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

class RecordingOpener final : public UrlOpener
{
public:
    void open(const QUrl &url) override { opened << url; }
    QList<QUrl> opened;
};

// Answers each query with the next canned answer (or a failure when empty).
struct CannedService
{
    QList<QJsonObject> answers;
    int queries = 0;
    VersionChecker::Query query()
    {
        return [this](QObject *, VersionChecker::OnAnswer onAnswer,
                      VersionChecker::OnFailure onFailure) {
            ++queries;
            if (answers.isEmpty())
                onFailure(-2, QStringLiteral("网络错误!"));
            else
                onAnswer(answers.takeFirst());
        };
    }
};
} // namespace

class TestVersionChecker : public QObject
{
    Q_OBJECT

    // Lets the queued announcement run.
    static void settle() { QCoreApplication::processEvents(); }

private slots:
    // A row without "number" is refused.
    void buildNumbers_data() { addRows(QStringLiteral("account/build-numbers.json")); }
    void buildNumbers()
    {
        QFETCH(QJsonObject, row);
        const auto parsed = parseBuildNumber(row["text"].toString());
        QCOMPARE(parsed.has_value(), row.contains("number"));
        if (parsed)
            QCOMPARE(*parsed, row["number"].toString().toLongLong());
    }

    void olderBuildRaisesTheAlert_data()
    {
        addRows(QStringLiteral("account/version-answers.json"));
    }
    void olderBuildRaisesTheAlert()
    {
        QFETCH(QJsonObject, row);
        ManualScheduler scheduler;
        RecordingOpener opener;
        CannedService service{{row["answer"].toObject()}};
        VersionChecker checker(service.query(), "12", scheduler, opener);
        checker.check();
        settle();
        QCOMPARE(service.queries, 1);
        QCOMPARE(checker.alert()->shown(), row["alert"].toBool());
    }

    void alertTextsAndTheUpdateAction()
    {
        ManualScheduler scheduler;
        RecordingOpener opener;
        CannedService service{
            {parse(
                 "{\"version\":{\"v_number\":13,\"v_address\":\"https://dl.example.org/o.apk\"}}"),
             parse(R"({"version":{"v_number":14,"v_meno":""}})")}};
        VersionChecker checker(service.query(), "12", scheduler, opener);

        checker.check();
        QVERIFY(!checker.alert()->shown()); // after the current event
        settle();
        QVERIFY(checker.alert()->shown());
        QCOMPARE(checker.alert()->message(), QStringLiteral("请更新到新版本"));
        QCOMPARE(checker.updateURL(), QUrl("https://dl.example.org/o.apk"));

        checker.alert()->acknowledge();
        QVERIFY(!checker.alert()->shown());
        QCOMPARE(opener.opened, QList<QUrl>{QUrl("https://dl.example.org/o.apk")});
        scheduler.advance(99ms);
        QVERIFY(!checker.alert()->shown());
        scheduler.advance(1ms);
        QVERIFY(checker.alert()->shown());

        // A later answer overwrites the text; an empty note stays empty.
        checker.check();
        settle();
        QCOMPARE(checker.alert()->message(), QString());
        QVERIFY(!checker.updateURL()); // "" is no address
    }

    void addressesThatAreNoWebAddressOpenNothing_data()
    {
        QTest::addColumn<QString>("address");
        for (const char *address :
             {"http://[", "file:///sdcard/o.apk", "javascript:alert(1)", "/download/o.apk"})
            QTest::newRow(address) << QString::fromUtf8(address);
    }

    void addressesThatAreNoWebAddressOpenNothing()
    {
        QFETCH(QString, address);
        ManualScheduler scheduler;
        RecordingOpener opener;
        QJsonObject version{{"v_number", 15}, {"v_meno", "修复"}, {"v_address", address}};
        CannedService service{{QJsonObject{{"version", version}}}};
        VersionChecker checker(service.query(), "12", scheduler, opener);
        checker.check();
        settle();
        QCOMPARE(checker.alert()->message(), QStringLiteral("修复"));
        QVERIFY(!checker.updateURL());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not an http\\(s\\) address"));
        checker.alert()->acknowledge();
        QVERIFY(opener.opened.isEmpty());
        scheduler.advance(100ms);
        QVERIFY(checker.alert()->shown());
    }

    void failuresChangeNothing()
    {
        ManualScheduler scheduler;
        RecordingOpener opener;
        CannedService service; // every query fails
        VersionChecker checker(service.query(), "12", scheduler, opener);
        QSignalSpy changes(&checker, &VersionChecker::changed);
        checker.check();
        checker.check();
        settle();
        QCOMPARE(service.queries, 2); // every appearance asks again
        QCOMPARE(changes.count(), 0);

        // An installed build that is no number cannot be compared: no query.
        VersionChecker unknown(service.query(), "1.0.0", scheduler, opener);
        unknown.check();
        QCOMPARE(service.queries, 2);
    }
};

QTEST_GUILESS_MAIN(TestVersionChecker)
#include "tst_versionchecker.moc"
