#include "RootView.h"

#include "AppContext.h"
#include "ContentView.h"
#include "account/LoginView.h"
#include "session/Session.h"
#include "store/DeviceStore.h"

namespace orvelle {

RootView::RootView(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    // Queued: the action that signed in finishes before the new screen reads the record.
    connect(&context.session->appState(), &User::isloginChanged, this, &RootView::update,
            Qt::QueuedConnection);
    const User *records[] = {&context.session->appState(), &context.session->account()};
    for (const User *user : records)
        connect(user, &User::storeFailed, &m_storeAlert, &AlertState::show);
    update();
    // The store is opened once the first frame is out: a newer client's
    // store, found then, takes the screen.
    context.firstFrame.whenOpen(this, [this] {
        m_context.deviceStore();
        update();
    });
    // Loading the records writes to the store before anyone listens; a write
    // that failed then is shown with the first screen.
    for (const User *user : records) {
        if (!user->storeError().isEmpty())
            m_storeAlert.show(user->storeError());
    }
}

QString RootView::refusal() const
{
    return m_context.storeRefusal();
}

void RootView::update()
{
    const bool refused = !refusal().isEmpty();
    const bool signedIn = !refused && m_context.session->appState().isSignedIn();
    if (refused    ? !m_contentView && !m_loginView
        : signedIn ? bool(m_contentView)
                   : bool(m_loginView))
        return;

    QObject *previous =
        m_contentView ? static_cast<QObject *>(m_contentView.data()) : m_loginView.data();
    m_contentView = nullptr;
    m_loginView = nullptr;
    if (signedIn)
        m_contentView = new ContentView(m_context, this);
    else if (!refused)
        m_loginView = new LoginView(*m_context.session, *m_context.serviceClient,
                                    *m_context.versionChecker, m_context.config.siteUrl, this);
    if (m_loginView) {
        // The store opens after the first frame, never on its way.
        m_context.firstFrame.whenOpen(m_loginView, [this, view = m_loginView.data()] {
            if (DeviceStore *store = m_context.deviceStore(); store->isOpen())
                view->setWaitingEntries(store->undeliveredCount());
        });
    }
    emit screenChanged();
    // The page of the old screen may still be tearing down this event.
    if (previous)
        previous->deleteLater();
}

} // namespace orvelle
