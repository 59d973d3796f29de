#include "SecretStore.h"

#include "core/Logging.h"

#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <chrono>
#include <future>
#include <map>
#include <qt6keychain/keychain.h>

namespace orvelle {

namespace {
const QString service = QStringLiteral("orvelle");
// A locked keyring asks the user to unlock it; D-Bus gives up after as long.
constexpr auto patience = std::chrono::seconds(25);

// QtKeychain queues its jobs on an object made in the thread of the first
// job, so every job of the process runs on this one thread, which lasts as
// long as the process.
class KeychainThread
{
public:
    KeychainThread()
    {
        m_thread.setObjectName(QStringLiteral("keychain"));
        m_worker.moveToThread(&m_thread);
        m_thread.start();
    }
    ~KeychainThread()
    {
        m_thread.quit();
        m_thread.wait();
    }
    QObject *worker() { return &m_worker; }

private:
    QThread m_thread;
    QObject m_worker;
};

QObject *keychainWorker()
{
    static KeychainThread thread;
    return thread.worker();
}
} // namespace

SecretStore::SecretStore(const QString &storeFile)
    : m_prefix(QFileInfo(storeFile).absoluteFilePath() + u'#')
{}

SecretStore::~SecretStore()
{
    flush();
}

std::shared_ptr<SecretStore> SecretStore::forRecord(const QString &storeFile)
{
    static QMutex mutex;
    static std::map<QString, std::weak_ptr<SecretStore>> stores;
    const QMutexLocker lock(&mutex);
    std::weak_ptr<SecretStore> &slot = stores[QFileInfo(storeFile).absoluteFilePath()];
    auto store = slot.lock();
    if (!store) {
        store = std::make_shared<SecretStore>(storeFile);
        slot = store;
    }
    return store;
}

void SecretStore::post(std::function<QKeychain::Job *()> make,
                       std::function<void(QKeychain::Job &)> done)
{
    QMetaObject::invokeMethod(
        keychainWorker(),
        [make = std::move(make), done = std::move(done)] {
            QKeychain::Job *job = make();
            job->setAutoDelete(true);
            // A file is never a fallback for the keychain.
            job->setInsecureFallback(false);
            QObject::connect(job, &QKeychain::Job::finished, job,
                             [done](QKeychain::Job *finished) { done(*finished); });
            job->start();
        },
        Qt::QueuedConnection);
}

SecretStore::Answer SecretStore::ask(const QString &key)
{
    auto promise = std::make_shared<std::promise<Answer>>();
    std::future<Answer> answer = promise->get_future();
    post(
        [name = m_prefix + key] {
            auto *job = new QKeychain::ReadPasswordJob(service);
            job->setKey(name);
            return job;
        },
        [promise](QKeychain::Job &job) {
            if (job.error() == QKeychain::NoError)
                promise->set_value(
                    {true, static_cast<QKeychain::ReadPasswordJob &>(job).textData()});
            else if (job.error() == QKeychain::EntryNotFound)
                promise->set_value({true, std::nullopt});
            else {
                qCDebug(lcStore) << "keychain:" << job.errorString();
                promise->set_value({});
            }
        });
    if (answer.wait_for(patience) != std::future_status::ready)
        return {};
    return answer.get();
}

std::optional<QString> SecretStore::read(const QString &key)
{
    if (m_available) {
        const Answer answer = ask(key);
        if (answer.usable)
            return answer.value;
        giveUp(QStringLiteral("no usable answer"));
    }
    return m_memory.value(key);
}

void SecretStore::write(const QString &key, const std::optional<QString> &value)
{
    if (!m_available)
        return keepInMemory(key, value);
    m_memory.remove(key);
    post(
        [name = m_prefix + key, value]() -> QKeychain::Job * {
            if (!value) {
                auto *job = new QKeychain::DeletePasswordJob(service);
                job->setKey(name);
                return job;
            }
            auto *job = new QKeychain::WritePasswordJob(service);
            job->setKey(name);
            job->setTextData(*value);
            return job;
        },
        // This store waits for its writes before it goes, so it is still there.
        [this, key, value](QKeychain::Job &job) {
            if (job.error() == QKeychain::NoError
                || (!value && job.error() == QKeychain::EntryNotFound))
                return;
            const QString why = job.errorString();
            QMetaObject::invokeMethod(this, [this, key, value, why] {
                giveUp(why);
                keepInMemory(key, value);
            });
        });
}

void SecretStore::flush()
{
    // The keychain runs its jobs one at a time: a read answered now comes
    // after every write before it.
    if (m_available)
        static_cast<void>(ask(QStringLiteral("flush")));
}

void SecretStore::giveUp(const QString &why)
{
    if (!m_available)
        return;
    m_available = false;
    qCDebug(lcStore) << "no keychain (" << why
                     << "): password and token are kept for this run only";
}

void SecretStore::keepInMemory(const QString &key, const std::optional<QString> &value)
{
    m_memory.insert(key, value);
    if (value && !m_told) {
        m_told = true;
        emit cannotRemember();
    }
}

} // namespace orvelle
