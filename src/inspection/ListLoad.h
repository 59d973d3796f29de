#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <memory>
#include <optional>

namespace orvelle {

// What a list page draws in place of its rows: the load on its way, the
// rows, the plain word that there are none, or why they did not come.
namespace ListState {
Q_NAMESPACE
QML_ELEMENT
enum Value { Loading, Ready, Empty, Failed };
Q_ENUM_NS(Value)
} // namespace ListState

// One list's reads from the service. Each read answers to a context of its
// own: a newer read, or leaving the screen, drops the one before, so a late
// answer reaches no one.
class ListLoad
{
public:
    // The context the new read's request is sent with.
    QObject *start()
    {
        m_read = std::make_unique<QObject>();
        return m_read.get();
    }
    // The answer came (or a kept copy stands in for it).
    void answered()
    {
        m_read.reset();
        m_answered = true;
        m_failure.reset();
    }
    void failed(const QString &message)
    {
        m_read.reset();
        m_failure = message;
    }
    // The screen was left: its read goes unanswered.
    void cancel() { m_read.reset(); }

    bool running() const { return m_read != nullptr; }
    const std::optional<QString> &failure() const { return m_failure; }
    // A failure hides the rows until a good answer; "重试" shows the wait again.
    ListState::Value state(int rows) const
    {
        if (m_failure)
            return running() ? ListState::Loading : ListState::Failed;
        if (!m_answered)
            return ListState::Loading;
        return rows == 0 ? ListState::Empty : ListState::Ready;
    }

private:
    std::unique_ptr<QObject> m_read;
    std::optional<QString> m_failure;
    bool m_answered = false;
};

} // namespace orvelle
