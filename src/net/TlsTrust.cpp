#include "TlsTrust.h"

#include "Answers.h"

#include <QtConcurrent>

namespace orvelle {

TlsTrust::TlsTrust(const QString &caFile, QObject *parent)
    : QObject(parent)
    , m_caFile(caFile)
{
    connect(&m_load, &QFutureWatcherBase::finished, this, [this] {
        m_ready = m_load.result();
        emit ready();
    });
}

// A load still running holds only its own copy of the file name.
TlsTrust::~TlsTrust()
{
    m_load.waitForFinished();
}

void TlsTrust::whenReady(QObject *context, std::function<void(const QSslConfiguration &)> send)
{
    if (m_ready) {
        send(*m_ready);
        return;
    }
    connect(
        this, &TlsTrust::ready, context, [this, send = std::move(send)] { send(*m_ready); },
        Qt::SingleShotConnection);
    load();
}

void TlsTrust::load()
{
    if (m_loading)
        return;
    m_loading = true;
    m_load.setFuture(QtConcurrent::run(answers::tlsConfiguration, m_caFile));
}

std::shared_ptr<TlsTrust> trustOrOwn(std::shared_ptr<TlsTrust> given, const QString &caFile)
{
    return given ? std::move(given) : std::make_shared<TlsTrust>(caFile);
}

} // namespace orvelle
