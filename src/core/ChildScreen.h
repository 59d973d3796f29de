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

    // A view with timers says how to stop them when its screen is left.
    void close()
    {
        m_open = false;
        if constexpr (requires(View & view) { view.screenLeft(); }) {
            if (m_view)
                m_view->screenLeft();
        }
    }

private:
    QPointer<View> m_view;
    bool m_open = false;
};

} // namespace orvelle
