#include "AlertState.h"

namespace orvelle {

void AlertState::show(const QString &message)
{
    if (m_shown && m_message == message)
        return;
    m_message = message;
    m_shown = true;
    emit changed();
}

void AlertState::acknowledge()
{
    if (m_shown) {
        m_shown = false;
        emit changed();
    }
    emit acknowledged();
}

} // namespace orvelle
