#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>
#include <future>
#include <memory>
#include <optional>

namespace QKeychain {
class Job;
}

namespace orvelle {

// The password and the token of an account record, kept in the system
// keychain through QtKeychain (a Secret Service over D-Bus on Linux, the
// Android Keystore, the iOS keychain), never in a file. The keychain is
// talked to on one thread of the process: a read waits for its answer
// (without running the caller's event loop), writes go in the background in
// the order made. A value can be asked for early, so that the read that
// needs it later finds it there. Without a keychain the values live in this
// object's memory.
class SecretStore : public QObject, public std::enable_shared_from_this<SecretStore>
{
    Q_OBJECT

public:
    // Entries are named after the record's file, so two records never share one.
    explicit SecretStore(const QString &storeFile);
    // Waits for the writes still under way.
    ~SecretStore() override;

    // The one store of a record, shared by the User objects that load it at
    // the same time.
    static std::shared_ptr<SecretStore> forRecord(const QString &storeFile);

    std::optional<QString> read(const QString &key);
    // Starts reading `key` in the background. Until a write of the same key,
    // read() takes this answer instead of asking again.
    void prefetch(const QString &key);
    // Runs `work` on the GUI thread once the background read of `key` has
    // its answer (or has waited too long); at once when none is under way.
    // Nothing runs once `context` is gone.
    void whenAnswered(const QString &key, QObject *context, std::function<void()> work);
    void write(const QString &key, const std::optional<QString> &value);
    // Waits until every write made so far has reached the keychain.
    void flush();
    bool isAvailable() const { return m_available; }

signals:
    // Once, the first time a value can be kept in memory only.
    void cannotRemember();

private:
    struct Answer
    {
        bool usable = false;
        std::optional<QString> value;
    };
    // Runs the job the factory makes on the keychain thread; `done` gets it
    // there when it has finished.
    void post(std::function<QKeychain::Job *()> make, std::function<void(QKeychain::Job &)> done);
    // `onAnswer` runs on the keychain thread once the answer is in.
    std::shared_future<Answer> askLater(const QString &key, std::function<void()> onAnswer = {});
    Answer ask(const QString &key);
    void answered(const QString &key);
    void giveUp(const QString &why);
    void keepInMemory(const QString &key, const std::optional<QString> &value);

    QString m_prefix;
    bool m_available = true;
    bool m_told = false;
    QHash<QString, std::optional<QString>> m_memory;
    QHash<QString, std::shared_future<Answer>> m_prefetched;
    QHash<QString, QList<std::pair<QPointer<QObject>, std::function<void()>>>> m_waiting;
};

} // namespace orvelle
