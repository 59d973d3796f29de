#pragma once

#include <QString>

namespace orvelle {

// One client at a time on a device folder: an exclusive flock() on
// "device.lock" inside it, held while this object lives. The kernel lets go
// when the process ends, however it ends, so a killed client leaves nothing
// behind that would keep the next start out.
class StoreLock
{
public:
    enum class State {
        Held,
        InUse, // another client (or another holder in this process) has it
        NoSpace,
        Failed,
    };

    // Makes the folder when it is missing.
    explicit StoreLock(const QString &folder);
    StoreLock(StoreLock &&other) noexcept;
    StoreLock &operator=(StoreLock &&other) noexcept;
    StoreLock(const StoreLock &) = delete;
    StoreLock &operator=(const StoreLock &) = delete;
    ~StoreLock();

    State state() const { return m_state; }
    bool held() const { return m_state == State::Held; }
    // Why it is not held, in words naming the file.
    QString errorString() const { return m_error; }

private:
    void refuse(const QString &path, int error);

    int m_fd = -1;
    State m_state = State::Failed;
    QString m_error;
};

} // namespace orvelle
