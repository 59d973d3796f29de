#include "AccountWork.h"

#include "AppContext.h"
#include "hazard/StandardPlaces.h"
#include "inspection/BlankSheets.h"
#include "net/ServiceClient.h"
#include "outbox/Outbox.h"
#include "session/Session.h"

namespace orvelle {

AccountWork::AccountWork(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    Session &session = *context.session;
    // After the first frame: opening the store is not on its way. A folder
    // this run must not use keeps all of it back. Signed out, the last
    // account's entries are checked and wait for it.
    context.firstFrame.whenOpen(this, [this] {
        m_context.deviceStore();
        if (!m_context.storeRefusal().isEmpty())
            return;
        if (m_context.session->state() == Session::State::SignedIn)
            begin();
        else if (m_context.session->state() != Session::State::Guest)
            startOutbox();
    });
    // Queued: the sign-in is applied whole before its work starts.
    connect(&session, &Session::signedIn, this, &AccountWork::begin, Qt::QueuedConnection);
    connect(&session, &Session::signedOut, this, &AccountWork::leave);
    connect(&session, &Session::guestEntered, this, &AccountWork::leave);
}

void AccountWork::begin()
{
    leave();
    startOutbox();
    // At each sign-in: a report filed underground needs its place.
    m_places =
        new StandardPlaces(*m_context.serviceClient, m_context.config.notesServer,
                           m_context.deviceStore(), m_context.session->account().storeKey(), this);
    m_places->load();
}

void AccountWork::leave()
{
    // Another account's lists are not this one's.
    if (m_blankSheets)
        m_blankSheets->deleteLater();
    if (m_places)
        m_places->deleteLater();
    m_blankSheets = nullptr;
    m_places = nullptr;
}

void AccountWork::startOutbox()
{
    m_outbox = m_context.outbox();
    if (m_outbox)
        m_outbox->start();
    emit started();
}

BlankSheets *AccountWork::blankSheets()
{
    if (!m_blankSheets)
        m_blankSheets =
            new BlankSheets(*m_context.serviceClient, m_context.config.notesServer,
                            m_context.deviceStore(), m_context.session->account().storeKey(), this);
    return m_blankSheets;
}

void AccountWork::refreshPlaces()
{
    if (m_places)
        m_places->loadIfOlderThan(std::chrono::hours(24));
}

} // namespace orvelle
