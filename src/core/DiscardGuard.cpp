#include "DiscardGuard.h"

namespace orvelle {

DiscardGuard::DiscardGuard(const QString &question, QObject *parent)
    : QObject(parent)
    , m_question(question)
{}

void DiscardGuard::leave(bool workWouldBeLost)
{
    if (workWouldBeLost)
        setAsking(true);
    else
        emit released();
}

void DiscardGuard::discard()
{
    setAsking(false);
    emit released();
}

void DiscardGuard::keepEditing()
{
    setAsking(false);
}

void DiscardGuard::setAsking(bool on)
{
    if (m_asking == on)
        return;
    m_asking = on;
    emit changed();
}

} // namespace orvelle
