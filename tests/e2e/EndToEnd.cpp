#include "EndToEnd.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QQuickStyle>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

namespace orvelle::test {

namespace {

// ASan builds are slow, and the machine is shared.
constexpr int patience = 30000;

// A modal popup on screen, or still fading out, takes the taps meant for what
// lies beneath it.
bool reachable(QQuickItem *item)
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

bool readyToTap(QQuickItem *item)
{
    return item && QmlPageFixture::settled(item)
           && QTest::qWaitFor([&] { return reachable(item); }, patience);
}

} // namespace

DevService::DevService(const QString &dataDir)
    : m_dataDir(dataDir)
{
    m_process.setProgram(QStringLiteral(ORVELLE_DEVSERVER_EXE));
    m_process.setArguments({QStringLiteral("--data"), m_dataDir, QStringLiteral("--listen"), host(),
                            QStringLiteral("--http-port"), QStringLiteral("50080")});
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &DevService::readOutput);
}

DevService::~DevService()
{
    kill();
}

QString DevService::host() const
{
    return QStringLiteral(ORVELLE_TEST_HOST);
}

QString DevService::caFile() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("tls/ca.pem"));
}

QString DevService::databaseFile() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("orvelle-devserver.sqlite"));
}

void DevService::readOutput()
{
    while (m_process.canReadLine())
        m_log << QString::fromUtf8(m_process.readLine()).trimmed();
}

bool DevService::start(QString *error)
{
    const qsizetype from = m_log.size();
    const auto ready = [&] {
        for (qsizetype i = from; i < m_log.size(); ++i)
            if (m_log.at(i).startsWith(QLatin1String("orvelle-devserver: ready https://")))
                return true;
        return false;
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

void DevService::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(patience);
}

bool DevService::printQrCodes(const QString &dir, QString *error) const
{
    QProcess printer;
    printer.setProcessChannelMode(QProcess::MergedChannels);
    printer.start(m_process.program(),
                  {QStringLiteral("--data"), m_dataDir, QStringLiteral("--print-qr"), dir});
    if (printer.waitForFinished(patience) && printer.exitStatus() == QProcess::NormalExit
        && printer.exitCode() == 0)
        return true;
    *error = QStringLiteral("orvelle-devserver --print-qr failed (%1):\n%2")
                 .arg(printer.errorString(), QString::fromLocal8Bit(printer.readAll()));
    return false;
}

AppConfig clientConfig(const DevService &service, const QString &folder, const QString &cameraImage)
{
    QString ini = QStringLiteral("[service]\nhost = %1\n[filestore]\nhost = %1\n"
                                 "[site]\nurl = http://%1:50080/site/\n[tls]\nca_file = %2\n")
                      .arg(service.host(), service.caFile());
    if (!cameraImage.isEmpty())
        ini += QStringLiteral("[camera]\nimage = %1\n").arg(cameraImage);
    const QString path = QDir(folder).filePath(QStringLiteral("orvelle.ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.toUtf8()) < 0)
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    // No ORVELLE_* variable of the machine may slip in.
    auto loaded = AppConfig::load(path, QProcessEnvironment());
    if (const auto *problem = std::get_if<ConfigError>(&loaded))
        qFatal("%s", qPrintable(problem->line()));
    return std::get<AppConfig>(loaded);
}

bool EndToEndTest::startService(QString *error)
{
    QQuickStyle::setStyle(QStringLiteral("Material"));
    log = std::make_unique<LogCapture>();
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    server = std::make_unique<DevService>(home.filePath(QStringLiteral("devserver")));
    return server->start(error);
}

void EndToEndTest::stopService()
{
    log.reset();
    server.reset();
}

QQuickItem *waitFor(QObject *root, const QString &name)
{
    QQuickItem *item = nullptr;
    if (!QTest::qWaitFor([&] { return (item = QmlPageFixture::findItem(root, name)); }, patience))
        return nullptr;
    return item;
}

bool waitGone(QObject *root, const QString &name)
{
    return QTest::qWaitFor([&] { return !QmlPageFixture::findItem(root, name); }, patience);
}

bool tap(QObject *root, const QString &name)
{
    QQuickItem *item = waitFor(root, name);
    return readyToTap(item) && QmlPageFixture::tap(item);
}

bool type(QmlPageFixture &fixture, const QString &field, const QString &text)
{
    QQuickWindow &window = fixture.window();
    QQuickItem *item = waitFor(&window, field);
    if (!readyToTap(item) || !QmlPageFixture::tap(item)
        || !QTest::qWaitFor([&] { return item->hasActiveFocus(); }, patience))
        return false;
    QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier);
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(&window, c.toLatin1());
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(c);
        QCoreApplication::sendEvent(window.focusObject(), &commit);
    }
    return true;
}

bool acknowledge(QmlPageFixture &fixture, const QString &message)
{
    QObject *window = &fixture.window();
    return waitFor(window, message) && tap(window, QStringLiteral("确定"))
           && waitGone(window, QStringLiteral("确定"));
}

} // namespace orvelle::test
