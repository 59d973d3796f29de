#include "SecretStore.h"

#include "core/Logging.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMutex>
#include <QThread>
#include <QTimer>
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

std::shared_future<SecretStore::Answer> SecretStore::askLater(const QString &key,
                                                              std::function<void()> onAnswer)
{
    auto promise = std::make_shared<std::promise<Answer>>();
    std::shared_future<Answer> answer = promise->get_future().share();
    post(
        [name = m_prefix + key] {
            auto *job = new QKeychain::ReadPasswordJob(service);
            job->setKey(name);
            return job;
        },
        [promise, onAnswer = std::move(onAnswer)](QKeychain::Job &job) {
            if (job.error() == QKeychain::NoError)
                promise->set_value(
                    {true, static_cast<QKeychain::ReadPasswordJob &>(job).textData()});
            else if (job.error() == QKeychain::EntryNotFound)
                promise->set_value({true, std::nullopt});
            else {
                qCDebug(lcStore) << "keychain:" << job.errorString();
                promise->set_value({});
            }
            if (onAnswer)
                onAnswer();
        });
    return answer;
}

SecretStore::Answer SecretStore::ask(const QString &key)
{
    const std::shared_future<Answer> answer = askLater(key);
    if (answer.wait_for(patience) != std::future_status::ready)
        return {};
    return answer.get();
}

std::optional<QString> SecretStore::read(const QString &key)
{
    if (m_available) {
        const auto prefetched = m_prefetched.constFind(key);
        const std::shared_future<Answer> pending =
            prefetched != m_prefetched.cend() ? *prefetched : askLater(key);
        const Answer answer =
            pending.wait_for(patience) == std::future_status::ready ? pending.get() : Answer{};
        if (answer.usable)
            return answer.value;
        giveUp(QStringLiteral("no usable answer"));
    }
    return m_memory.value(key);
}

void SecretStore::prefetch(const QString &key)
{
    if (!m_available || m_prefetched.contains(key))
        return;
    // The answer comes on the keychain thread; this store may be gone by then.
    auto tell = [store = weak_from_this(), key] {
        QCoreApplication *app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(app, [store, key] {
            if (const auto alive = store.lock())
                alive->answered(key);
        });
    };
    m_prefetched.insert(key, askLater(key, std::move(tell)));
    m_waiting[key];
    QTimer::singleShot(patience, this, [this, key] { answered(key); });
}

void SecretStore::whenAnswered(const QString &key, QObject *context, std::function<void()> work)
{
    const auto waiting = m_waiting.find(key);
    if (waiting == m_waiting.end())
        return work();
    waiting->append({QPointer<QObject>(context), std::move(work)});
}

void SecretStore::answered(const QString &key)
{
    // No keychain, or one that does not answer: later writes go to memory
    // at once and the user is told when they are made.
    const auto prefetched = m_prefetched.constFind(key);
    if (prefetched != m_prefetched.cend()
        && (prefetched->wait_for(std::chrono::seconds(0)) != std::future_status::ready
            || !prefetched->get().usable))
        giveUp(QStringLiteral("no usable answer"));
    const auto waiters = m_waiting.take(key);
    for (const auto &[context, work] : waiters) {
        if (context)
            work();
    }
}

void SecretStore::write(const QString &key, const std::optional<QString> &value)
{
    // Whatever was read before is out of date now.
    m_prefetched.remove(key);
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
