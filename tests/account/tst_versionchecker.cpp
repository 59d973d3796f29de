#include "account/VersionChecker.h"
#include "core/UrlOpener.h"
#include "support/ManualScheduler.h"
#include "support/TestData.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace orvelle;
using namespace std::chrono_literals;
using orvelle::test::addRows;
using orvelle::test::ManualScheduler;

namespace {
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

    // What an answer to build 12 raises (a row without "message" raises
    // nothing), what "确认" opens, and that the alert comes back.
    void answersToBuildTwelve_data() { addRows(QStringLiteral("account/version-answers.json")); }
    void answersToBuildTwelve()
    {
        QFETCH(QJsonObject, row);
        ManualScheduler scheduler;
        RecordingOpener opener;
        CannedService service{{row["answer"].toObject()}};
        VersionChecker checker(service.query(), "12", scheduler, opener);
        checker.check();
        QVERIFY(!checker.alert()->shown()); // after the current event
        QCoreApplication::processEvents();
        QCOMPARE(service.queries, 1);
        QCOMPARE(checker.alert()->shown(), row.contains("message"));
        if (!checker.alert()->shown())
            return;
        QCOMPARE(checker.alert()->message(), row["message"].toString());
        const QUrl opens(row["opens"].toString());
        QCOMPARE(checker.updateUrlValue(), opens);
        if (row.contains("refused"))
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("not an http\\(s\\) address"));
        checker.alert()->acknowledge();
        QCOMPARE(opener.opened, opens.isEmpty() ? QList<QUrl>() : QList<QUrl>{opens});
        scheduler.advance(99ms);
        QVERIFY(!checker.alert()->shown());
        scheduler.advance(1ms);
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
        QCoreApplication::processEvents();
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
