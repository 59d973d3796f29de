#pragma once

#include "AppContext.h"
#include "RootView.h"
#include "app/QmlPlugins.h"
#include "core/AppConfig.h"
#include "support/LogCapture.h"
#include "support/QmlPageFixture.h"
#include "support/ScreenAlert.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QProcess>
#include <QQuickItem>
#include <QQuickStyle>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/prctl.h>

// What the end-to-end tests share: the real dev service as a child process on
// the test's own loopback address, the client configured for it on its root
// page, the tester's moves on the pages, and every log line the client writes.
namespace orvelle::test {

// ASan builds are slow, and the machine is shared.
constexpr int patience = 30000;

// orvelle-devserver run from the build tree. It dies with the test process,
// even when the test crashes or is killed by ctest.
class DevService
{
public:
    explicit DevService(const QString &dataDir)
        : m_dataDir(dataDir)
    {
        m_process.setProgram(QStringLiteral(ORVELLE_DEVSERVER_EXE));
        m_process.setArguments({"--data", m_dataDir, "--listen", host(), "--http-port", "50080"});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    }
    ~DevService() { kill(); }

    // Starts it on the data folder (created on first start) and waits for its
    // ready line; false with its output when it does not come.
    bool start(QString *error)
    {
        const qsizetype from = m_log.size();
        const auto ready = [&] {
            return !m_log.mid(from).filter("orvelle-devserver: ready https://").isEmpty();
        };
        m_process.start();
        // The first start makes its certificates with openssl.
        if (QTest::qWaitFor([&] { return ready() || m_process.state() == QProcess::NotRunning; },
                            patience * 4)
            && ready())
            return true;
        readOutput();
        *error = QStringLiteral("orvelle-devserver did not get ready (%1):\n%2")
                     .arg(m_process.errorString(), m_log.mid(from).join(QLatin1Char('\n')));
        kill();
        return false;
    }
    // Ends it at once, as a crash or a pulled plug would.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(patience);
    }
    // The posted codes of its check points, "checkpoint-<key>.png" in `dir`.
    bool printQrCodes(const QString &dir, QString *error) const
    {
        QProcess printer;
        printer.setProcessChannelMode(QProcess::MergedChannels);
        printer.start(m_process.program(), {"--data", m_dataDir, "--print-qr", dir});
        if (printer.waitForFinished(patience) && printer.exitStatus() == QProcess::NormalExit
            && printer.exitCode() == 0)
            return true;
        *error = QStringLiteral("orvelle-devserver --print-qr failed (%1):\n%2")
                     .arg(printer.errorString(), QString::fromLocal8Bit(printer.readAll()));
        return false;
    }

    QString host() const { return QStringLiteral(ORVELLE_TEST_HOST); }
    QString caFile() const { return QDir(m_dataDir).filePath("tls/ca.pem"); }
    QString databaseFile() const { return QDir(m_dataDir).filePath("orvelle-devserver.sqlite"); }
    // Every line it printed, over all its starts.
    const QStringList &log() const { return m_log; }

private:
    void readOutput()
    {
        while (m_process.canReadLine())
            m_log << QString::fromUtf8(m_process.readLine()).trimmed();
    }

    QString m_dataDir;
    QProcess m_process;
    QStringList m_log;
};

// A modal popup on screen, or still fading out, takes the taps meant for what
// lies beneath it.
inline bool reachable(QQuickItem *item)
{
    for (QQuickItem *overlay : item->window()->contentItem()->childItems()) {
        if (!overlay->inherits("QQuickOverlay"))
            continue;
        QQuickItem *top = nullptr;
        for (QQuickItem *child : overlay->childItems())
            if (child->isVisible() && (!top || child->z() >= top->z()))
                top = child;
        if (top && top != item && !top->isAncestorOf(item))
            return false;
    }
    return true;
}

// Taps the item once it has settled and no popup lies over it.
inline bool tapWhenReady(QQuickItem *item)
{
    return item && QmlPageFixture::settled(item)
           && QTest::qWaitFor([&] { return reachable(item); }, patience)
           && QmlPageFixture::tap(item);
}

// Waits for a visible item named `name` (objectName or Accessible.name).
inline QQuickItem *waitFor(QObject *root, const QString &name)
{
    QQuickItem *item = nullptr;
    return QTest::qWaitFor([&] { return (item = QmlPageFixture::findItem(root, name)); }, patience)
               ? item
               : nullptr;
}

inline bool waitGone(QObject *root, const QString &name)
{
    return QTest::qWaitFor([&] { return !QmlPageFixture::findItem(root, name); }, patience);
}

inline bool tap(QObject *root, const QString &name)
{
    return tapWhenReady(waitFor(root, name));
}

// The base of an end-to-end test: a temporary home for the client's files
// and the dev service's data, the service running, the client on its root
// page, every log line of every category, Qt's own included, at debug level
// captured.
class EndToEndTest : public QObject
{
protected:
    // From initTestCase: "" once the service runs and the client, configured
    // by its INI file as an installer would write it, shows its root page;
    // else why not. The camera sees the code posted at `checkPoint`, if given.
    QString start(const QString &checkPoint = {})
    {
        QQuickStyle::setStyle(QStringLiteral("Material"));
        log = std::make_unique<LogCapture>();
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        server = std::make_unique<DevService>(home.filePath("devserver"));
        QString error;
        if (!server->start(&error))
            return error;
        QString ini = QStringLiteral("[service]\nhost = %1\n[filestore]\nhost = %1\n"
                                     "[site]\nurl = http://%1:50080/site/\n[tls]\nca_file = %2\n")
                          .arg(server->host(), server->caFile());
        if (!checkPoint.isEmpty()) {
            if (!server->printQrCodes(home.filePath("codes"), &error))
                return error;
            ini += "[camera]\nimage = " + home.filePath("codes/checkpoint-" + checkPoint + ".png")
                   + "\n";
        }
        QFile file(home.filePath("orvelle.ini"));
        if (!file.open(QIODevice::WriteOnly) || file.write(ini.toUtf8()) < 0)
            return "cannot write " + file.fileName();
        file.close();
        // No ORVELLE_* variable of the machine may slip in.
        auto loaded = AppConfig::load(file.fileName(), QProcessEnvironment());
        if (const auto *problem = std::get_if<ConfigError>(&loaded))
            return problem->line();
        context = buildAppContext(std::get<AppConfig>(loaded));
        root = std::make_unique<RootView>(*context);
        fixture = std::make_unique<QmlPageFixture>();
        if (!fixture->load(QUrl("qrc:/Orvelle/App/qml/RootPage.qml"),
                           {{"view", QVariant::fromValue(root.get())}}))
            return fixture->warningText();
        window = &fixture->window();
        return {};
    }
    // From cleanupTestCase.
    void stop()
    {
        fixture.reset();
        root.reset();
        context.reset();
        log.reset();
        server.reset();
    }

    // Taps the field, selects what it holds and types over it; characters
    // beyond ASCII arrive as an input method commits them.
    bool type(const QString &field, const QString &text)
    {
        QQuickItem *item = waitFor(window, field);
        if (!tapWhenReady(item)
            || !QTest::qWaitFor([&] { return item->hasActiveFocus(); }, patience))
            return false;
        QTest::keyClick(&fixture->window(), Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClick(&fixture->window(), c.toLatin1());
                continue;
            }
            QInputMethodEvent commit;
            commit.setCommitString(c);
            QCoreApplication::sendEvent(fixture->window().focusObject(), &commit);
        }
        return true;
    }
    // Types both on the sign-in page and taps "登入".
    bool enter(const QString &phone, const QString &password)
    {
        return type("手机号", phone) && type("密码", password) && tap(window, "登入");
    }
    // Taps "确定" of the box showing `message` and waits until it has closed.
    bool acknowledge(const QString &message)
    {
        return waitFor(window, message) && tap(window, "确定") && waitGone(window, "确定");
    }
    // Whatever the view's box says, once it shows.
    template <typename View> bool acknowledgeAlert(View *view)
    {
        return alertShown(*view) && acknowledge(view->alert()->message());
    }

    QTemporaryDir home;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<DevService> server;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<RootView> root;
    std::unique_ptr<QmlPageFixture> fixture;
    QObject *window = nullptr;
};

} // namespace orvelle::test
