#pragma once

#include "net/ServiceClient.h"
#include "session/Session.h"
#include "support/AccountStore.h"
#include "support/https/TestClientConfig.h"

#include <QNetworkReply>
#include <QTest>
#include <algorithm>
#include <memory>

namespace orvelle::test {

// What the account tests build their screens from: this executable's test
// server and a client aimed at it, over the default account store. A test
// class derives from it (after QObject), calls prepare() from initTestCase
// and start() from init.
struct AccountFixture
{
    HttpsTestServer server;
    // Ready before the first request, so a request is on the wire once sent.
    std::shared_ptr<TlsTrust> trust;
    std::unique_ptr<Session> session;
    User *appState = nullptr;
    User *shared = nullptr;
    std::unique_ptr<ServiceClient> client;

    bool prepare()
    {
        configHome();
        trust = std::make_shared<TlsTrust>(testConfig().caFile);
        QObject context;
        bool ready = false;
        trust->whenReady(&context, [&ready](const QSslConfiguration &) { ready = true; });
        return server.isListening() && QTest::qWaitFor([&ready] { return ready; });
    }

    // A run over a store that holds these entries.
    bool start(const QVariantMap &entries = {})
    {
        client.reset();
        session.reset();
        writeAccountStore(entries);
        session = std::make_unique<Session>();
        appState = &session->appState();
        shared = &session->account();
        client = std::make_unique<ServiceClient>(testConfig(), *session, trust);
        // Like the trust: the keychain has answered before the first request.
        QObject context;
        bool tokenKnown = false;
        shared->whenTokenKnown(&context, [&] { tokenKnown = true; });
        return QTest::qWaitFor([&] { return tokenKnown; });
    }

    // Requests on the wire now: read at once, it needs no wait for a request
    // that might still come.
    int running() const
    {
        const auto replies = client->findChildren<QNetworkReply *>();
        return int(std::count_if(replies.begin(), replies.end(),
                                 [](QNetworkReply *reply) { return reply->isRunning(); }));
    }
};

} // namespace orvelle::test
