#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QSslConfiguration>
#include <functional>
#include <memory>
#include <optional>

namespace orvelle {

// The TLS settings of every request: the system CAs plus the configured CA
// file. Reading the system store takes a tenth of a second or more, so it is
// read once, on a worker thread started by load() or the first request (the
// client starts it after its first frame); requests made before it is ready
// are sent when it is.
class TlsTrust : public QObject
{
    Q_OBJECT

public:
    explicit TlsTrust(const QString &caFile, QObject *parent = nullptr);
    ~TlsTrust() override;

    // Starts reading on a worker thread, once.
    void load();
    // Calls `send` now when ready, else once it is, unless `context` is gone.
    void whenReady(QObject *context, std::function<void(const QSslConfiguration &)> send);

signals:
    void ready();

private:
    QString m_caFile;
    bool m_loading = false;
    QFutureWatcher<QSslConfiguration> m_load;
    std::optional<QSslConfiguration> m_ready;
};

// The trust a client was given, or one of its own.
std::shared_ptr<TlsTrust> trustOrOwn(std::shared_ptr<TlsTrust> given, const QString &caFile);

} // namespace orvelle
