#include "DevServiceChild.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <csignal>
#include <sys/prctl.h>

DevServiceChild::DevServiceChild(const QString &program, const QString &dataDir,
                                 const QString &host)
    : m_dataDir(dataDir)
    , m_host(host)
{
    m_process.setProgram(program);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
}

QStringList DevServiceChild::serviceArguments() const
{
    return {"--data", m_dataDir, "--listen", m_host, "--http-port", "50080"};
}

bool DevServiceChild::start(const QStringList &options, QString *error)
{
    const qsizetype from = m_log.size();
    const auto ready = [&] {
        return !m_log.mid(from).filter("orvelle-devserver: ready https://").isEmpty();
    };
    m_process.setArguments(serviceArguments() + options);
    m_process.start();
    // The first start makes its certificates with openssl; sanitizers are slow.
    const QDeadlineTimer deadline(120000);
    while (!ready() && m_process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        m_process.waitForReadyRead(20);
        QCoreApplication::processEvents();
    }
    readOutput();
    if (ready())
        return true;
    *error = QStringLiteral("orvelle-devserver did not get ready (%1):\n%2")
                 .arg(m_process.errorString(), m_log.mid(from).join(QLatin1Char('\n')));
    kill();
    return false;
}

void DevServiceChild::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(30000);
}

bool DevServiceChild::pause()
{
    return m_process.state() == QProcess::Running
           && ::kill(pid_t(m_process.processId()), SIGSTOP) == 0;
}

bool DevServiceChild::resume()
{
    return m_process.state() == QProcess::Running
           && ::kill(pid_t(m_process.processId()), SIGCONT) == 0;
}

void DevServiceChild::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // A paused service would hear the request only when woken.
    resume();
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        kill();
}

bool DevServiceChild::printQrCodes(const QString &dir, QString *error) const
{
    QProcess printer;
    printer.setProcessChannelMode(QProcess::MergedChannels);
    printer.start(m_process.program(), serviceArguments() + QStringList{"--print-qr", dir});
    if (printer.waitForFinished(60000) && printer.exitStatus() == QProcess::NormalExit
        && printer.exitCode() == 0)
        return true;
    *error = QStringLiteral("orvelle-devserver --print-qr failed (%1):\n%2")
                 .arg(printer.errorString(), QString::fromLocal8Bit(printer.readAll()));
    return false;
}

QString DevServiceChild::caFile() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("tls/ca.pem"));
}

QString DevServiceChild::databaseFile() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("orvelle-devserver.sqlite"));
}

QString DevServiceChild::photoDir() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("photos"));
}

void DevServiceChild::readOutput()
{
    while (m_process.canReadLine())
        m_log << QString::fromUtf8(m_process.readLine()).trimmed();
}
