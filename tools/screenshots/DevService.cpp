#include "DevService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>

DevService::DevService(const QString &program, const QString &dataDir, const QString &host)
    : m_dataDir(dataDir)
    , m_host(host)
    , m_logFile(QDir(dataDir).filePath(QStringLiteral("devserver.log")))
{
    QDir().mkpath(m_dataDir);
    m_process.setProgram(program);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // A file, not a pipe: nobody has to keep reading what it logs.
    m_process.setStandardOutputFile(m_logFile, QIODevice::Append);
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool DevService::start(const QStringList &options, QString *error)
{
    QFile log(m_logFile);
    const qint64 from = log.exists() ? log.size() : 0;
    m_process.setArguments(
        QStringList{"--data", m_dataDir, "--listen", m_host, "--http-port", "50080"} + options);
    m_process.start();
    // The first start makes its certificates with openssl; sanitizers are slow.
    const QDeadlineTimer deadline(120000);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (log.open(QIODevice::ReadOnly)) {
            log.seek(from);
            output = log.readAll();
            log.close();
        }
        if (output.contains("orvelle-devserver: ready https://"))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    *error = QStringLiteral("orvelle-devserver did not get ready (%1):\n%2")
                 .arg(m_process.errorString(), QString::fromLocal8Bit(output));
    stop();
    return false;
}

void DevService::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

bool DevService::printQrCodes(const QString &dir, QString *error) const
{
    QProcess printer;
    printer.setProcessChannelMode(QProcess::MergedChannels);
    printer.start(m_process.program(), {"--data", m_dataDir, "--listen", m_host, "--http-port",
                                        "50080", "--print-qr", dir});
    if (printer.waitForFinished(60000) && printer.exitStatus() == QProcess::NormalExit
        && printer.exitCode() == 0)
        return true;
    *error = QStringLiteral("orvelle-devserver --print-qr failed (%1):\n%2")
                 .arg(printer.errorString(), QString::fromLocal8Bit(printer.readAll()));
    return false;
}

QString DevService::caFile() const
{
    return QDir(m_dataDir).filePath(QStringLiteral("tls/ca.pem"));
}
