#include "core/AppConfig.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using orvelle::AppConfig;
using orvelle::ConfigError;
using orvelle::test::addRows;

namespace {
QProcessEnvironment env(std::initializer_list<std::pair<QString, QString>> values)
{
    QProcessEnvironment e;
    for (const auto &[k, v] : values)
        e.insert(k, v);
    return e;
}
} // namespace

class TestAppConfig : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &text)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(text);
        return path;
    }

    ConfigError errorOf(const QString &file, const QProcessEnvironment &e = {})
    {
        auto result = AppConfig::load(file, e);
        if (!std::holds_alternative<ConfigError>(result))
            return {};
        return std::get<ConfigError>(result);
    }

private slots:
    void defaultsPointAtTheDevService()
    {
        auto result = AppConfig::load({}, env({}));
        QVERIFY(std::holds_alternative<AppConfig>(result));
        const AppConfig c = std::get<AppConfig>(result);
        QCOMPARE(c.serviceHost, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.fileStoreHost, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.siteUrl.scheme(), QStringLiteral("http"));
        QVERIFY(!c.deviceModel);
    }

    void fileThenEnvironment()
    {
        const QString file = QStringLiteral(ORVELLE_TEST_DATA "/core/good.ini");
        auto result = AppConfig::load(file, env({{"ORVELLE_FILESTORE_HOST", "[::1]"}}));
        QVERIFY(std::holds_alternative<AppConfig>(result));
        const AppConfig c = std::get<AppConfig>(result);
        QCOMPARE(c.serviceHost, QStringLiteral("svc.example"));
        QCOMPARE(c.fileStoreHost, QStringLiteral("[::1]"));
        QCOMPARE(c.notesServer, QStringLiteral("Notes/Group"));
        // A comma stays part of the address (QSettings would make a list of it).
        QCOMPARE(c.siteUrl.toString(), QStringLiteral("https://www.example.com/a?b=1,2"));
        QCOMPARE(c.deviceModel, QStringLiteral("iPhone12,1"));
        QCOMPARE(c.deviceName, QStringLiteral("Pad"));
        QVERIFY(!c.deviceSystemVersion);

        // ORVELLE_CONFIG names the file when no option does.
        auto viaEnv = AppConfig::load({}, env({{"ORVELLE_CONFIG", file}}));
        QCOMPARE(std::get<AppConfig>(viaEnv).serviceHost, QStringLiteral("svc.example"));
    }

    void errorsNameFileKeyAndProblem_data() { addRows(QStringLiteral("core/config-errors.json")); }

    void errorsNameFileKeyAndProblem()
    {
        QFETCH(QJsonObject, row);
        // Bytes that are not UTF-8 are written as the Latin-1 of their text.
        const QString file =
            writeFile("bad.ini", row.contains("latin1") ? row["latin1"].toString().toLatin1()
                                                        : row["text"].toString().toUtf8());
        const ConfigError e = errorOf(file);
        QVERIFY2(e.source.startsWith(file), qPrintable(e.line()));
        QCOMPARE(e.key, row["key"].toString());
        QCOMPARE(e.problem, row["problem"].toString());
        QVERIFY(e.line().contains(file));
    }

    void missingFileAndBadEnvironment()
    {
        const ConfigError missing = errorOf(dir.filePath("none.ini"));
        QCOMPARE(missing.problem, QStringLiteral("file does not exist"));
        QVERIFY(missing.line().startsWith(dir.filePath("none.ini")));

        const ConfigError badEnv = errorOf({}, env({{"ORVELLE_SITE_URL", "javascript:alert(1)"}}));
        QCOMPARE(badEnv.key, QStringLiteral("ORVELLE_SITE_URL"));
        QCOMPARE(badEnv.problem, QStringLiteral("must be an http or https address"));
    }

    void caFileMustHoldACertificate()
    {
        const QString notCert = writeFile("not-a-cert.pem", "hello\n");
        QCOMPARE(errorOf({}, env({{"ORVELLE_CA_FILE", notCert}})).problem,
                 QStringLiteral("file holds no certificate"));

        const QString cert = QString::fromStdString(orvelle::test::HttpsTestServer::caFile());
        auto result = AppConfig::load({}, env({{"ORVELLE_CA_FILE", cert}}));
        QVERIFY(std::holds_alternative<AppConfig>(result));
        QCOMPARE(std::get<AppConfig>(result).caFile, cert);
    }
};

QTEST_GUILESS_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
