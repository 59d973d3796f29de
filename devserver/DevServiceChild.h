#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// orvelle-devserver as a child process on its own data folder, as the road
// test, the benchmarks and the screenshot walk run it. It dies with its
// parent, even when the parent crashes or is killed. The event loop keeps
// running while it waits.
class DevServiceChild
{
public:
    DevServiceChild(const QString &program, const QString &dataDir, const QString &host);
    ~DevServiceChild() { kill(); }

    // Starts it (with `options` added) and waits for its ready line; false
    // with its output when that does not come.
    bool start(const QStringList &options, QString *error);
    // Ends it at once, as a crash or a pulled plug would.
    void kill();
    // Asks it to end, and ends it when it does not.
    void stop();
    // Holds it still, as a service that takes no turn would: connections are
    // accepted by the system and nothing answers, until resume().
    bool pause();
    bool resume();
    // Writes the QR codes of its check points and notices into `dir`.
    bool printQrCodes(const QString &dir, QString *error) const;

    QString host() const { return m_host; }
    QString caFile() const;
    QString databaseFile() const;
    QString photoDir() const;
    // Every line it printed, over all its starts.
    const QStringList &log() const { return m_log; }

private:
    QStringList serviceArguments() const;
    void readOutput();

    QString m_dataDir;
    QString m_host;
    QProcess m_process;
    QStringList m_log;
};
