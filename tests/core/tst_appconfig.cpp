#include "core/AppConfig.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

using orvelle::AppConfig;
using orvelle::ConfigError;

namespace {
QJsonObject fieldsOf(const AppConfig &c)
{
    const auto optional = [](const std::optional<QString> &t) {
        return t ? QJsonValue(*t) : QJsonValue();
    };
    return {{"serviceHost", c.serviceHost},
            {"fileStoreHost", c.fileStoreHost},
            {"notesServer", c.notesServer},
            {"siteUrl", c.siteUrl.toString()},
            {"caFile", c.caFile},
            {"deviceModel", optional(c.deviceModel)},
            {"deviceName", optional(c.deviceName)},
            {"deviceSystemVersion", optional(c.deviceSystemVersion)}};
}
} // namespace

class TestAppConfig : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A row's text with the data folder and the test CA's file put in.
    QString placed(QString text) const
    {
        return text.replace("$DATA", ORVELLE_TEST_DATA)
            .replace("$CA", QString::fromStdString(orvelle::test::HttpsTestServer::caFile()));
    }

private slots:
    // A row either expects some fields ("config") or the error's key and
    // problem. Bytes that are not UTF-8 are written as the Latin-1 of "latin1".
    void loads_data() { orvelle::test::addRows(QStringLiteral("core/configurations.json")); }
    void loads()
    {
        QFETCH(QJsonObject, row);
        QString file = placed(row["file"].toString());
        if (row.contains("text") || row.contains("latin1")) {
            QFile f(file = dir.filePath("bad.ini"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(row.contains("latin1") ? row["latin1"].toString().toLatin1()
                                           : row["text"].toString().toUtf8());
        }
        QProcessEnvironment env;
        for (const QString &name : row["env"].toObject().keys())
            env.insert(name, placed(row["env"][name].toString()));
        const auto result = AppConfig::load(file, env);
        if (row.contains("config")) {
            QVERIFY(std::holds_alternative<AppConfig>(result));
            const QJsonObject fields = fieldsOf(std::get<AppConfig>(result));
            const QJsonObject expected = row["config"].toObject();
            for (const QString &key : expected.keys()) {
                const QJsonValue want =
                    expected[key].isNull() ? QJsonValue() : placed(expected[key].toString());
                QVERIFY2(fields[key] == want, qPrintable(key + ": " + fields[key].toString()));
            }
            return;
        }
        QVERIFY(std::holds_alternative<ConfigError>(result));
        const ConfigError e = std::get<ConfigError>(result);
        QCOMPARE(e.key, row["key"].toString());
        QCOMPARE(e.problem, row["problem"].toString());
        if (!file.isEmpty())
            QVERIFY2(e.source.startsWith(file) && e.line().contains(file), qPrintable(e.line()));
    }
};

QTEST_GUILESS_MAIN(TestAppConfig)
#include "tst_appconfig.moc"
