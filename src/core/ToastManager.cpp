#include "ToastManager.h"

#include "Scheduler.h"

namespace orvelle {

ToastManager::ToastManager(QObject *parent)
    : ToastManager(Scheduler::system(), parent)
{}

ToastManager::ToastManager(Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_scheduler(scheduler)
{}

void ToastManager::show(const QString &message)
{
    if (m_message != message) {
        m_message = message;
        emit messageChanged();
    }
    setShowing(true);
    m_scheduler.runAfter(duration, this, [this] { setShowing(false); });
}

void ToastManager::setShowing(bool showing)
{
    if (m_isShowing == showing)
        return;
    m_isShowing = showing;
    emit isShowingChanged();
}

} // namespace orvelle
