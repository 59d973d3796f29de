#include "RootView.h"

#include "AppContext.h"
#include "ContentView.h"
#include "account/LoginView.h"
#include "session/User.h"

namespace orvelle {

RootView::RootView(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_context(context)
{
    // Queued: the action that signed in (guest entry sets the account fields
    // after the flag) finishes before the new screen reads the record.
    connect(context.appState.get(), &User::isloginChanged, this, &RootView::update,
            Qt::QueuedConnection);
    for (const User *user : {context.appState.get(), context.sharedUser.get()})
        connect(user, &User::storeFailed, &m_storeAlert, &AlertState::show);
    update();
    // Loading the records writes to the store before anyone listens; a write
    // that failed then is shown with the first screen.
    for (const User *user : {context.appState.get(), context.sharedUser.get()}) {
        if (!user->storeError().isEmpty())
            m_storeAlert.show(user->storeError());
    }
}

void RootView::update()
{
    const bool signedIn = m_context.appState->isSignedIn();
    if (signedIn ? bool(m_contentView) : bool(m_loginView))
        return;

    QObject *previous =
        signedIn ? static_cast<QObject *>(m_loginView.data()) : m_contentView.data();
    if (signedIn) {
        m_contentView = new ContentView(m_context, this);
        m_loginView = nullptr;
    } else {
        m_loginView =
            new LoginView(*m_context.appState, *m_context.sharedUser, *m_context.serviceClient,
                          *m_context.versionChecker, m_context.config.siteUrl, this);
        m_contentView = nullptr;
    }
    emit screenChanged();
    // The page of the old screen may still be tearing down this event.
    if (previous)
        previous->deleteLater();
}

} // namespace orvelle
