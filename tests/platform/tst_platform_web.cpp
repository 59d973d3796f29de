#include "DevServer.h"
#include "RiskAnnouncementWebView.h"
#include "WebSandbox.h"
#include "WebView.h"
#include "support/QmlPageFixture.h"
#include "support/TestData.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <atomic>
#include <httplib.h>
#include <thread>
#include <unistd.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)

using namespace orvelle;
using orvelle::devserver::DevServer;
using orvelle::test::addRows;
using orvelle::test::QmlPageFixture;

namespace {
QStringList webLines;
QtMessageHandler previousHandler = nullptr;

void recordWebLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "orvelle.web")
        webLines << message;
    previousHandler(type, context, message);
}

const std::string noticePage =
    "<html><head><title>风险公告</title></head><body>三号井</body></html>";

// Plain HTTP on loopback: a page, a redirect to it, an error status and an
// address that accepts the request but never answers.
class LocalWebServer
{
public:
    LocalWebServer()
    {
        m_server.Get("/page", [](const httplib::Request &, httplib::Response &response) {
            response.set_content(noticePage, "text/html; charset=utf-8");
        });
        m_server.Get("/redirect", [](const httplib::Request &, httplib::Response &response) {
            response.set_redirect("/page");
        });
        m_server.Get("/missing", [](const httplib::Request &, httplib::Response &response) {
            response.status = 404;
            response.set_content("<html><body>无此公告</body></html>", "text/html");
        });
        // Promises more than it sends, then hangs up: the page had begun.
        m_server.Get("/cut", [](const httplib::Request &, httplib::Response &response) {
            response.set_content_provider(
                100000, "text/html", [](size_t offset, size_t, httplib::DataSink &sink) {
                    if (offset > 0)
                        return false;
                    const std::string start =
                        "<html><head><title>半页</title></head><body>" + std::string(4000, 'x');
                    sink.write(start.data(), start.size());
                    return true;
                });
        });
        // Held while `holdFlaky`, then a server fault the first time, the page after.
        m_server.Get("/flaky", [this](const httplib::Request &, httplib::Response &response) {
            while (m_flakyHeld && !m_stopping)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (m_flakyRequests++ == 0) {
                response.status = 503;
                response.set_content("<html><body>维护中</body></html>", "text/html");
                return;
            }
            response.set_content(noticePage, "text/html; charset=utf-8");
        });
        m_server.Get("/silent", [this](const httplib::Request &, httplib::Response &response) {
            for (int i = 0; i < 300 && !m_stopping; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            response.set_content("late", "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~LocalWebServer()
    {
        m_stopping = true;
        m_server.stop();
        m_thread.join();
    }
    void holdFlaky(bool held) { m_flakyHeld = held; }
    int flakyRequests() const { return m_flakyRequests; }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

private:
    httplib::Server m_server;
    std::atomic<bool> m_stopping = false;
    std::atomic<bool> m_flakyHeld = false;
    std::atomic<int> m_flakyRequests = 0;
    int m_port = 0;
    std::thread m_thread;
};

// The Chromium processes this one started, by their --type, with the
// "Seccomp:" mode of each (2: a filter is in force).
QMultiMap<QString, int> webEngineProcesses()
{
    QHash<qint64, qint64> parentOf;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({"[0-9]*"}, QDir::Dirs);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (stat.open(QIODevice::ReadOnly)) // "pid (name) state ppid ..."
            parentOf[pid.toLongLong()] =
                stat.readAll().split(')').last().trimmed().split(' ').value(1).toLongLong();
    }
    QMultiMap<QString, int> found;
    for (const QString &pid : pids) {
        qint64 ancestor = parentOf.value(pid.toLongLong());
        while (ancestor > 1 && ancestor != ::getpid())
            ancestor = parentOf.value(ancestor);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (ancestor != ::getpid() || !cmdline.open(QIODevice::ReadOnly)
            || !status.open(QIODevice::ReadOnly))
            continue;
        QString type;
        for (const QByteArray &argument : cmdline.readAll().split('\0'))
            if (argument.startsWith("--type="))
                type = QString::fromLatin1(argument.mid(7));
        const QByteArray fields = status.readAll();
        const qsizetype at = fields.indexOf("\nSeccomp:");
        found.insert(type, at < 0 ? -1 : fields.mid(at + 9).trimmed().left(1).toInt());
    }
    return found;
}
} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

    std::unique_ptr<LocalWebServer> server;

    // Shows one WebView and waits for the line that ends its navigation.
    static QStringList navigate(QmlPageFixture &fixture, WebView &view,
                                const QString &lastLinePrefix)
    {
        webLines.clear();
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/WebViewPage.qml"),
                                     {{"view", QVariant::fromValue(&view)}});
        if (!page)
            return {fixture.warningText()};
        const auto ended = [&] {
            return !webLines.isEmpty() && webLines.constLast().startsWith(lastLinePrefix);
        };
        if (!QTest::qWaitFor(ended, 60000))
            webLines << QStringLiteral("(no line starting with %1)").arg(lastLinePrefix);

        return webLines;
    }

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("orvelle.web.debug=true"));
        previousHandler = qInstallMessageHandler(recordWebLines);
        server = std::make_unique<LocalWebServer>();
    }

    void onlyWebAddressesOpen_data() { addRows(QStringLiteral("platform/notice-addresses.json")); }
    // An address that opens is kept exactly as scanned.
    void onlyWebAddressesOpen()
    {
        QFETCH(QJsonObject, row);
        const QString address = row["address"].toString();
        const RiskAnnouncementWebView notice(address);
        QCOMPARE(bool(RiskAnnouncementWebView::pageAddress(address)), row["opens"].toBool());
        QCOMPARE(notice.webView() ? notice.webView()->url() : QUrl(),
                 row["opens"].toBool() ? QUrl(address) : QUrl());
    }

    void navigationsWriteTheirLines_data() { addRows(QStringLiteral("platform/navigations.json")); }
    // A refused connection must not count as a page that began to arrive: the
    // engine's own error page, titled with the host, would be shown.
    void navigationsWriteTheirLines()
    {
        QFETCH(QJsonObject, row);
        // "$" is the local web server; on "%host", this test's own address, no
        // one listens but the dev service, at 50000 and 50080.
        const auto expand = [this](const QJsonValue &text) {
            return text.toString()
                .replace(u'$', server->url({}).toString())
                .replace("%host", ORVELLE_TEST_HOST);
        };
        QStringList lines;
        for (const QJsonValue &line : row["lines"].toArray())
            lines << expand(line);
        WebView view(QUrl(expand(row["address"])));
        view.setTimeout(std::chrono::milliseconds(row["timeoutMs"].toInt(60000)));
        QmlPageFixture fixture;
        QCOMPARE(navigate(fixture, view, lines.last().section(u' ', 0, 0)), lines);
        // What the engine reported, in the words the page shows.
        QCOMPARE(view.failureText(), row["shows"].toString());
        QVERIFY(!view.loading());
    }

    void failuresSayWhyAndOfferARetry_data()
    {
        addRows(QStringLiteral("platform/web-failures.json"));
    }
    // A failure's words and whether "重试" loads again, without the engine.
    void failuresSayWhyAndOfferARetry()
    {
        QFETCH(QJsonObject, row);
        WebView view(QUrl(QStringLiteral("http://127.0.0.1/notice")));
        QSignalSpy reloads(&view, &WebView::reloadRequested);
        view.setTimeout(std::chrono::milliseconds(row.value("timeoutMs").toInt(60000)));
        view.navigationStarted(view.url());
        view.setProgress(40);
        QVERIFY(view.loading());
        QCOMPARE(view.progress(), 40);
        if (row.value("committed").toBool())
            view.contentArrived();
        if (row.contains("timeoutMs")) {
            QSignalSpy stop(&view, &WebView::stopRequested);
            QVERIFY(stop.wait());
        }
        if (row.contains("domain")) {
            const QByteArray domain = row["domain"].toString().toLatin1();
            view.navigationFailed(QStringLiteral("net::ERR_X"), row["code"].toInt(),
                                  QMetaEnum::fromType<WebLoadFailure::Domain>().keyToValue(domain));
        } else {
            view.navigationStopped();
        }
        QVERIFY(!view.loading());
        QCOMPARE(view.failureText(), row["message"].toString());
        QCOMPARE(view.retryOffered(), row["retry"].toBool());
        view.retry();
        QCOMPARE(reloads.count(), row["retry"].toBool() ? 1 : 0);
        QCOMPARE(view.failureText(), row["retry"].toBool() ? QString() : row["message"].toString());
        // The next load starts clean.
        view.navigationStarted(view.url());
        QCOMPARE(view.failureText(), QString());
        QCOMPARE(view.progress(), 0);
    }

    // A notice page shows its progress while it loads, why it failed and
    // "重试", which loads it again. (The link error of a refused address, with
    // no web view and the engine never loaded, is tst_platform's.)
    void noticePageShowsItsLoadAndItsFailure()
    {
        QVERIFY(!RiskAnnouncementWebView(std::nullopt).webView());
        const QUrl flaky = server->url("/flaky");
        RiskAnnouncementWebView notice(flaky.toString()); // outlives its page, as on the stack
        webLines.clear();
        server->holdFlaky(true);
        const auto release = qScopeGuard([this] { server->holdFlaky(false); });
        QmlPageFixture fixture;
        QObject *page = fixture.load(QUrl("qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"),
                                     {{"view", QVariant::fromValue(&notice)}});
        QVERIFY2(page, qPrintable(fixture.warningText()));
        QTRY_VERIFY(QmlPageFixture::findItem(page, "WebView"));
        QVERIFY(!QmlPageFixture::findItem(page, "链接错误，请重试"));
        QTRY_VERIFY_WITH_TIMEOUT(QmlPageFixture::findItem(page, "loadProgress"), 60000);
        QVERIFY(!QmlPageFixture::findItem(page, "重试"));

        server->holdFlaky(false);
        const QString fault = QStringLiteral("网站出了故障，请稍后重试");
        QTRY_VERIFY_WITH_TIMEOUT(QmlPageFixture::findItem(page, fault), 60000);
        QVERIFY(!QmlPageFixture::findItem(page, "loadProgress"));
        QQuickItem *retry = QmlPageFixture::findItem(page, "重试");
        QVERIFY(QmlPageFixture::settled(retry));
        QVERIFY(QmlPageFixture::tap(retry));
        QTRY_VERIFY_WITH_TIMEOUT(webLines.contains("Finished loading: " + flaky.toString()), 60000);
        QVERIFY(!QmlPageFixture::findItem(page, fault));
        QVERIFY(!QmlPageFixture::findItem(page, "loadProgress"));
        QCOMPARE(server->flakyRequests(), 2);
        QCOMPARE(QmlPageFixture::findItem(page, "WebView")->property("title").toString(),
                 QStringLiteral("风险公告"));
        QVERIFY2(fixture.warnings().isEmpty(), qPrintable(fixture.warningText()));
    }

    // Pages behind a swapped sticker, from the dev service: the host shows
    // under the title, and every dialog, permission, file chooser, full
    // screen, new window, foreign scheme and (notice hosts named) other host
    // they ask for is refused.
    void noticePageRefusesWhatItAsksFor()
    {
        QTemporaryDir data;
        orvelle::devserver::DevServerOptions options;
        options.dataDir = data.path();
        options.listenAddress = ORVELLE_TEST_HOST;
        DevServer service(options);
        QString error;
        QVERIFY2(service.start(&error), qPrintable(error));
        QDesktopServices::setUrlHandler("mailto", this, "openedByDesktop");
        const auto unhandle = qScopeGuard([] { QDesktopServices::unsetUrlHandler("mailto"); });
        const QStringList hosts{ORVELLE_TEST_HOST};
        QVERIFY(!RiskAnnouncementWebView(service.httpUrl() + "/notice/1", {"a.example"}).webView());
        const auto count = [](const QString &line) { return webLines.filter(line).size(); };
        QmlPageFixture fixture;
        const std::pair<QString, QString> probes[]{
            {"/probe/asks", "Refused permission"},
            {"/probe/sign-in", "Refused sign-in dialog"},
            {"/probe/away", "Refused navigation: http://notice.invalid/"}};
        for (const auto &[path, line] : probes) {
            RiskAnnouncementWebView notice(service.httpUrl() + path, hosts);
            const std::unique_ptr<QObject> page(
                fixture.load(QUrl("qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"),
                             {{"view", QVariant::fromValue(&notice)}}));
            QVERIFY2(page, qPrintable(fixture.warningText()));
            QCOMPARE(
                QmlPageFixture::findItem(page.get(), "noticeHost")->property("text").toString(),
                hosts[0]);
            // Location and notifications; nothing asks for a camera there is not.
            QTRY_VERIFY_WITH_TIMEOUT(count(line) >= (path == "/probe/asks" ? 2 : 1), 60000);
            if (path != "/probe/asks")
                continue;
            QCOMPARE(count("Refused JavaScript dialog"), 3);
            QQuickItem *web = QmlPageFixture::findItem(page.get(), "WebView");
            const QPoint middle = web->mapToScene({web->width() / 2, web->height() / 2}).toPoint();
            // A tap each: a file chooser, full screen, a new window, a mail address.
            // Under load the engine drops a tap that comes before its first
            // frame, so one that gets no answer is made again.
            for (const QString what : {"file chooser", "full screen", "new window", ""}) {
                QVERIFY(QTest::qWaitFor(
                    [&] {
                        QTest::mouseClick(&fixture.window(), Qt::LeftButton, {}, middle);
                        return QTest::qWaitFor([&] { return count("Refused " + what) >= 1; }, 3000);
                    },
                    40000));
            }
        }
        QCOMPARE(desktopOpened, 0);
    }

    // Of the flags a user's environment passes, the engine gets the
    // harmless ones only (main() applies it as the client does).
    void chromiumFlagsKeepTheSandbox_data()
    {
        addRows(QStringLiteral("platform/chromium-flags.json"));
    }
    void chromiumFlagsKeepTheSandbox()
    {
        QFETCH(QJsonObject, row);
        QCOMPARE(harmlessChromiumFlags(row["flags"].toString()), row["kept"].toString());
    }

    // What users run: an ordinary user, whose environment asks for every way
    // out of the sandbox, gets a page drawn by sandboxed renderers. As root
    // (which Chromium refuses a sandbox) the case runs itself again as a
    // user of a user namespace of its own.
    void pagesRunInTheSandbox()
    {
        if (::geteuid() == 0) {
            QProcess asUser;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
            environment.insert("QTWEBENGINE_CHROMIUM_FLAGS",
                               "--no-sandbox -no-sandbox --single-process\t--no-zygote "
                               "--disable-setuid-sandbox --disable-gpu");
            environment.remove("DBUS_SESSION_BUS_ADDRESS"); // root's bus
            asUser.setProcessEnvironment(environment);
            asUser.setProcessChannelMode(QProcess::ForwardedChannels);
            asUser.start("unshare",
                         {"--user", "--map-user=1000", "--map-group=1000", "--",
                          QCoreApplication::applicationFilePath(), "pagesRunInTheSandbox"});
            QVERIFY(asUser.waitForFinished(180000));
            QCOMPARE(asUser.exitStatus(), QProcess::NormalExit);
            QCOMPARE(asUser.exitCode(), 0);
            return;
        }
        WebView view(server->url("/page"));
        QmlPageFixture fixture;
        QCOMPARE(navigate(fixture, view, "Finished").constLast(),
                 "Finished loading: " + server->url("/page").toString());
        // Renderers are forked from the zygote and keep its command line;
        // a sandboxed one runs under a seccomp filter (mode 2).
        const QMultiMap<QString, int> processes = webEngineProcesses();
        QString seen;
        for (auto it = processes.cbegin(); it != processes.cend(); ++it)
            seen += QStringLiteral(" %1:%2").arg(it.key()).arg(it.value());
        QVERIFY2(processes.values("zygote").contains(2), qPrintable(seen));
    }

    void cleanupTestCase() { server.reset(); }

public slots:
    void openedByDesktop(const QUrl &) { ++desktopOpened; }

private:
    int desktopOpened = 0;
};

int main(int argc, char **argv)
{
    // As the client does: the sandbox kept, the engine loaded later, by QML.
    keepWebSandbox(::geteuid() == 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    TestWeb test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platform_web.moc"
