#pragma once

#include <QObject>
#include <QPointer>
#include <utility>

namespace orvelle {

// The view of a screen a parent pushes: made afresh each time it opens, so
// nothing typed on a previous visit survives. A closed view stays until the
// screen opens again (or the parent goes), because its page is still bound to
// it while it runs its leaving transition.
template <typename View> class ChildScreen
{
public:
    ChildScreen() = default;
    ChildScreen(const ChildScreen &) = delete;
    ChildScreen &operator=(const ChildScreen &) = delete;
    ~ChildScreen() { delete m_view; }

    // The open screen's view, or the last one while its page leaves.
    View *view() const { return m_view; }
    bool isOpen() const { return m_open; }

    template <typename Make> View *open(Make &&make)
    {
        if (m_view)
            m_view->deleteLater();
        m_view = std::forward<Make>(make)();
        m_open = true;
        return m_view;
    }

    // A view with timers says how to stop them when its screen is left. The
    // closed view no longer reaches its parent: a scanner keeps reporting
    // and a sheet may still finish while their pages leave.
    void close()
    {
        m_open = false;
        if (!m_view)
            return;
        if (QObject *parent = m_view->parent())
            QObject::disconnect(m_view.data(), nullptr, parent, nullptr);
        if constexpr (requires(View & view) { view.screenLeft(); })
            m_view->screenLeft();
    }

    // The navigation flag's setter: opens a fresh view from `make` or closes
    // the screen; false when it already was as asked, so nothing changed.
    template <typename Make> bool setOpen(bool on, Make &&make)
    {
        if (on == m_open)
            return false;
        if (on)
            open(std::forward<Make>(make));
        else
            close();
        return true;
    }

private:
    QPointer<View> m_view;
    bool m_open = false;
};

} // namespace orvelle
