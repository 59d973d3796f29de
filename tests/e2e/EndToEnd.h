#pragma once

#include "core/AppConfig.h"
#include "support/LogCapture.h"
#include "support/QmlPageFixture.h"

#include <QProcess>
#include <QQuickItem>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// What the end-to-end tests share: the real dev service as a child process on
// the test's own loopback address, the client's configuration for it, the
// tester's moves on the pages, and every log line the client writes.
namespace orvelle::test {

// orvelle-devserver run from the build tree. It dies with the test process,
// even when the test crashes or is killed by ctest.
class DevService : public QObject
{
    Q_OBJECT

public:
    explicit DevService(const QString &dataDir);
    ~DevService() override;

    // Starts it on the data folder (created on first start) and waits for its
    // ready line; false with its output when it does not come.
    bool start(QString *error);
    // Ends it at once, as a crash or a pulled plug would.
    void kill();
    // The posted codes of its check points, "checkpoint-<key>.png" in `dir`.
    bool printQrCodes(const QString &dir, QString *error) const;

    QString host() const;
    QString caFile() const;
    QString databaseFile() const;
    // Every line it printed, over all its starts.
    const QStringList &log() const { return m_log; }

private:
    void readOutput();

    QString m_dataDir;
    QProcess m_process;
    QStringList m_log;
};

// The base of an end-to-end test: a temporary home for the client's files
// and the dev service's data, the service running, every log line of every
// category, Qt's own included, at debug level captured.
class EndToEndTest : public QObject
{
    Q_OBJECT

protected:
    // From initTestCase, before any page is loaded.
    bool startService(QString *error);
    // From cleanupTestCase, once the pages are gone.
    void stopService();

    QTemporaryDir home;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<DevService> server;
};

// The client's configuration as an installer would write it: the INI file,
// read by the client's own loader, pointing at the dev service and trusting
// its CA; `cameraImage` stands in for the camera when not empty.
AppConfig clientConfig(const DevService &service, const QString &folder,
                       const QString &cameraImage = {});

// Waits for a visible item named `name` (objectName or Accessible.name).
QQuickItem *waitFor(QObject *root, const QString &name);
bool waitGone(QObject *root, const QString &name);
// Taps the item once it has settled and no popup lies over it.
bool tap(QObject *root, const QString &name);
// Taps the field, selects what it holds and types over it; characters beyond
// ASCII arrive as an input method commits them.
bool type(QmlPageFixture &fixture, const QString &field, const QString &text);
// Taps "确定" of the box showing `message` and waits until it has closed.
bool acknowledge(QmlPageFixture &fixture, const QString &message);

} // namespace orvelle::test
