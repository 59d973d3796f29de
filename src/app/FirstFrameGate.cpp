#include "FirstFrameGate.h"

namespace orvelle {

void FirstFrameGate::open()
{
    if (!m_held)
        return;
    m_held = false;
    emit opened();
}

void FirstFrameGate::whenOpen(QObject *context, std::function<void()> work)
{
    if (!m_held) {
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
        return;
    }
    connect(this, &FirstFrameGate::opened, context, std::move(work),
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

} // namespace orvelle
