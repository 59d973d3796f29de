#include "core/AppConfig.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using orvelle::AppConfig;
using orvelle::ConfigError;

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
        const QString file = writeFile("good.ini", "# comment\n[service]\nhost = svc.example\n"
                                                   "[filestore]\nhost=files.example\n"
                                                   "[notes]\nserver = \"Notes/Group\"\n"
                                                   "[site]\nurl = https://www.example.com/a?b=1,2\n"
                                                   "[device]\nmodel = iPhone12,1\nname=Pad\n");
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

    void errorsNameFileKeyAndProblem_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("problem");
        const auto row = [](const char *tag, const char *text, const char *key,
                            const char *problem) {
            QTest::newRow(tag) << QByteArray(text) << QString(key) << QString(problem);
        };
        row("scheme", "[service]\nhost=https://a", "service/host",
            "must be a host name without a scheme");
        row("port", "[service]\nhost=a:50000", "service/host",
            "must be a host name without a port");
        row("path", "[filestore]\nhost=a/b", "filestore/host",
            "must be a host name without a path");
        row("empty host", "[service]\nhost=", "service/host", "must not be empty");
        row("ftp site", "[site]\nurl=ftp://a/", "site/url", "must be an http or https address");
        row("site without host", "[site]\nurl=http://", "site/url", "must name a host");
        row("unknown", "[service]\nport=1", "service/port", "unknown key");
        row("twice", "[service]\nhost=a\nhost=b", "service/host", "set twice");
        row("missing ca", "[tls]\nca_file=/nonexistent/ca.pem", "tls/ca_file",
            "file does not exist");
        row("garbage line", "[service]\nhost a", "", "expected \"key = value\"");
        row("bad section", "[service\nhost=a", "", "malformed section header");
        row("not utf8", "[service]\nhost=\xff\xfe", "", "is not valid UTF-8 text");
    }

    void errorsNameFileKeyAndProblem()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, key);
        QFETCH(QString, problem);
        const QString file = writeFile("bad.ini", text);
        const ConfigError e = errorOf(file);
        QVERIFY2(e.source.startsWith(file), qPrintable(e.line()));
        QCOMPARE(e.key, key);
        QCOMPARE(e.problem, problem);
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

        const QString cert = dir.filePath("ca.pem");
        const int rc = QProcess::execute("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                                     "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                                                     dir.filePath("ca.key"), "-out", cert, "-days",
                                                     "1", "-subj", "/CN=Orvelle config test"});
        QCOMPARE(rc, 0);
        auto result = AppConfig::load({}, env({{"ORVELLE_CA_FILE", cert}}));
        QVERIFY(std::holds_alternative<AppConfig>(result));
        QCOMPARE(std::get<AppConfig>(result).caFile, cert);
    }
};

QTEST_GUILESS_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
