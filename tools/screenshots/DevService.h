#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// orvelle-devserver as a child process on its own data folder. It dies with
// this program, even when this program crashes or is killed.
class DevService
{
public:
    DevService(const QString &program, const QString &dataDir, const QString &host);
    ~DevService() { stop(); }

    // Starts it (with `options` added) and waits for its ready line; false
    // with its output when that does not come.
    bool start(const QStringList &options, QString *error);
    void stop();
    // Writes the QR codes of its check points and notices into `dir`.
    bool printQrCodes(const QString &dir, QString *error) const;

    QString host() const { return m_host; }
    QString caFile() const;

private:
    QString m_dataDir;
    QString m_host;
    QString m_logFile;
    QProcess m_process;
};
