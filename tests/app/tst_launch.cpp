#include "support/TestData.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The client executable as a user starts it: options, config errors, screenshot.
class TestLaunch : public QObject
{
    Q_OBJECT

    QTemporaryDir home;

    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };

    Run run(const QStringList &arguments, const QStringList &extraEnvironment = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", home.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.remove("ORVELLE_CONFIG");
        for (const QString &entry : extraEnvironment)
            environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(ORVELLE_CLIENT), arguments);
        if (!process.waitForFinished(120000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString placed(QString text) const
    {
        return text.replace("$HOME", home.path())
            .replace("$DATA", ORVELLE_TEST_DATA)
            .replace("$VERSION", ORVELLE_VERSION)
            .replace("$BUILD", ORVELLE_BUILD);
    }

private slots:
    // Options and unusable configurations (exit code 2); Qt may add its own
    // notes about the environment to stderr, so only our lines are counted.
    void commandLines_data() { orvelle::test::addRows(QStringLiteral("app/runs.json")); }
    void commandLines()
    {
        QFETCH(QJsonObject, row);
        QStringList arguments;
        for (const QJsonValue &argument : row["args"].toArray())
            arguments << placed(argument.toString());
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, row["exit"].toInt());
        for (const char *key : {"out", "alsoOut"})
            QVERIFY2(result.out.contains(placed(row[key].toString())), qPrintable(result.out));
        QVERIFY2(result.err.contains(placed(row["err"].toString())), qPrintable(result.err));
        if (row.contains("ourLines"))
            QCOMPARE(result.err.count(QStringLiteral("orvelle: ")), row["ourLines"].toInt());
    }

    void screenshotOfTheFirstScreen()
    {
        const QString shot = home.filePath("first.png");
        // Qt 6.4's software scene graph keeps its image textures past the end
        // of exec(); the same pages are leak-checked inside tst_app.
        const Run result = run({"--screenshot", shot}, {"LSAN_OPTIONS=detect_leaks=0"});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains(shot));
        QImage image(shot);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 320);
        // Something was drawn: not one flat colour.
        QVERIFY(image.pixel(image.width() / 2, image.height() / 8) != image.pixel(5, 5)
                || image.pixel(image.width() / 2, image.height() / 4) != image.pixel(5, 5));
    }
};

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
