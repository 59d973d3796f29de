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

private slots:
    void versionAndHelp()
    {
        const Run version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out.trimmed(),
                 QStringLiteral("orvelle %1 (build %2)").arg(ORVELLE_VERSION, ORVELLE_BUILD));
        const Run help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("--screenshot"));
        QVERIFY(help.out.contains("--config"));
    }

    void unusableConfigurationStopsWithCodeTwo()
    {
        QCOMPARE(run({"--no-such-option"}).exitCode, 2);

        const QString missing = home.filePath("missing.ini");
        const Run absent = run({"--config", missing});
        QCOMPARE(absent.exitCode, 2);
        QVERIFY2(absent.err.contains(missing), qPrintable(absent.err));
        // One line of ours (Qt may add its own notes about the environment).
        QCOMPARE(absent.err.count(QStringLiteral("orvelle: ")), 1);

        QFile file(home.filePath("bad.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[service]\nhost=https://example.org\n");
        file.close();
        const Run bad = run({"--config", file.fileName()});
        QCOMPARE(bad.exitCode, 2);
        QVERIFY2(bad.err.contains("service/host"), qPrintable(bad.err));
    }

    void screenshotOfTheFirstScreen()
    {
        const QString shot = home.filePath("first.png");
        // Qt 6.4's software scene graph keeps its image textures past the end
        // of exec(); the same pages are leak-checked inside tst_pages.
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
