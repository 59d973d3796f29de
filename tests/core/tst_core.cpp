#include "core/AppConfig.h"
#include "core/ChildScreen.h"
#include "core/ToastManager.h"
#include "support/ManualScheduler.h"
#include "support/TestData.h"
#include "support/https/HttpsTestServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using orvelle::AppConfig;
using orvelle::ConfigError;
using orvelle::ToastManager;
using orvelle::test::ManualScheduler;

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
            {"noticeHosts", c.noticeHosts.join(u',')},
            {"photoHosts", c.photoHosts().join(u',')},
            {"deviceModel", optional(c.deviceModel)},
            {"deviceName", optional(c.deviceName)},
            {"deviceSystemVersion", optional(c.deviceSystemVersion)}};
}
} // namespace

// A pushed screen's view as its parent makes it: it stops its timers when
// its screen is left, and tells its parent when it is done.
class ChildView : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    void screenLeft() { ++left; }
    int left = 0;
signals:
    void finished();
};

// The configuration file, the toast, the photos' encoding and the child screens.
class TestCore : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    // A row's text with the data folder and the test CA's file put in.
    QString placed(QString text) const
    {
        return text.replace("$DATA", ORVELLE_TEST_DATA)
            .replace("$DEVCA", AppConfig::devServiceCaFile())
            .replace("$CA", QString::fromStdString(orvelle::test::HttpsTestServer::caFile()));
    }

private slots:
    // A dev service's CA where the client looks for it.
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("share")));
        QVERIFY(QDir().mkpath(QFileInfo(AppConfig::devServiceCaFile()).path()));
        QVERIFY(QFile::copy(placed("$CA"), AppConfig::devServiceCaFile()));
    }

    // A navigation flag's setter over ChildScreen: a fresh view at each
    // opening, the last one kept while its page leaves, stopped and no longer
    // heard by its parent once closed.
    void childScreenFlag()
    {
        QObject parent;
        orvelle::ChildScreen<ChildView> screen;
        int made = 0;
        int heard = 0;
        const auto make = [&] {
            ++made;
            auto *view = new ChildView(&parent);
            connect(view, &ChildView::finished, &parent, [&] { ++heard; });
            return view;
        };
        QVERIFY(screen.setOpen(true, make));
        QVERIFY(!screen.setOpen(true, make));
        QPointer<ChildView> first = screen.view();
        emit first->finished();
        QVERIFY(screen.setOpen(false, make));
        QVERIFY(!screen.setOpen(false, make) && !screen.isOpen());
        QCOMPARE(first->left, 1);
        QCOMPARE(screen.view(), first.data());
        emit first->finished();
        QCOMPARE(heard, 1);
        QVERIFY(screen.setOpen(true, make));
        QCOMPARE(made, 2);
        QVERIFY(screen.view() != first.data());
        QTRY_VERIFY(!first);
    }

    // A row either expects some fields ("config") or the error's key and
    // problem; "system" stands for the machine's file. Bytes that are not
    // UTF-8 are written as the Latin-1 of "latin1".
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
        // The machine's file only as a row names it, never the real one.
        const QString system = placed(row["system"].toString());
        const auto result = AppConfig::load(file, env, system);
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
        const QString named = file.isEmpty() ? system : file;
        if (!named.isEmpty())
            QVERIFY2(e.source.startsWith(named) && e.line().contains(named), qPrintable(e.line()));
    }

    // The example installed as /etc/orvelle/orvelle.conf names every key,
    // commented out; each value it shows is the built-in default.
    void exampleFileShowsEveryKeyWithItsDefault()
    {
        QFile example(QStringLiteral(ORVELLE_TEST_DATA "/../../dist/orvelle.conf"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QByteArray text = example.readAll();
        QVERIFY(std::holds_alternative<AppConfig>(AppConfig::load(example.fileName(), {})));
        static const QRegularExpression commented(QStringLiteral("^#(\\w+) =(?: (.*))?$"));
        QStringList listed;
        QString section;
        for (const QString &line : QString::fromUtf8(text).split(u'\n')) {
            if (line.startsWith(u'['))
                section = line.mid(1, line.indexOf(u']') - 1);
            const auto match = commented.match(line);
            if (!match.hasMatch())
                continue;
            listed << section + u'/' + match.captured(1);
            if (match.captured(2).isEmpty())
                continue;
            AppConfig shown = AppConfig::defaults();
            const auto error =
                shown.applyIni(QStringLiteral("[%1]\n%2").arg(section, line.mid(1)).toUtf8(),
                               QStringLiteral("example"));
            QVERIFY2(!error, qPrintable(error ? error->line() : QString()));
            QCOMPARE(fieldsOf(shown), fieldsOf(AppConfig::defaults()));
        }
        listed.sort();
        QCOMPARE(listed, AppConfig::keys());
    }

    // Two seconds each; every call schedules its own reset, so the first one
    // ends the toast though a second message came later.
    void showsForTwoSecondsFromTheFirstCall()
    {
        ManualScheduler clock;
        ToastManager toast(clock);
        QSignalSpy changes(&toast, &ToastManager::isShowingChanged);
        toast.show(QStringLiteral("a"));
        clock.advance(1000ms);
        toast.show(QStringLiteral("b"));
        QCOMPARE(toast.message(), QStringLiteral("b"));
        clock.advance(999ms);
        QVERIFY(toast.isShowing());
        clock.advance(1ms);
        QVERIFY(!toast.isShowing());
        QCOMPARE(toast.message(), QStringLiteral("b"));
        clock.advance(1000ms);
        QVERIFY(!toast.isShowing());
        QCOMPARE(changes.count(), 2);
    }

    void resetOfADestroyedManagerNeverRuns()
    {
        ManualScheduler clock;
        auto *toast = new ToastManager(clock);
        toast->show(QStringLiteral("x"));
        delete toast;
        QCOMPARE(clock.pending(), size_t(0));
        clock.advance(5000ms); // would touch freed memory under ASan
    }

    void realTimerResets()
    {
        ToastManager toast;
        toast.show(QStringLiteral("x"));
        QVERIFY(toast.isShowing());
        QTRY_VERIFY_WITH_TIMEOUT(!toast.isShowing(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
