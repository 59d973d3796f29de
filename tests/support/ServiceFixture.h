#pragma once

#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "session/Session.h"
#include "support/NotesService.h"
#include "support/ScreenAlert.h"
#include "support/https/TestClientConfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace orvelle::test {

// What the screen tests build their views from: the inspection service on
// this executable's test server, a client and an uploader aimed at it, and an
// account, all in one temporary folder. A test class derives from it (after
// QObject), calls start() from initTestCase and reset() from init.
struct ServiceFixture
{
    QTemporaryDir dir;
    HttpsTestServer server;
    AppConfig config = testConfig();
    std::unique_ptr<NotesService> service;
    std::unique_ptr<Session> session;
    // The session's account record.
    User *user = nullptr;
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<PhotoUploader> uploader;

    // False when the server could not bind its address.
    bool start()
    {
        // HOME too: a camera's album copy stays in the folder.
        qputenv("HOME", dir.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
        service = std::make_unique<NotesService>(server);
        uploader = std::make_unique<PhotoUploader>(config);
        reset();
        return server.isListening();
    }
    // Whose work zhangwei's is in the device store.
    static inline const QString zhangwei = QStringLiteral("job:10001");
    // No answers, no recorded requests, and a fresh account record: zhangwei
    // of 岚石水泥/矿山分厂, not signed in (signIn() does that).
    void reset()
    {
        service->reset();
        client.reset();
        session.reset();
        QFile::remove(dir.filePath("account.ini"));
        session = std::make_unique<Session>(dir.filePath("account.ini"));
        user = &session->account();
        user->setOu1(QStringLiteral("岚石水泥"));
        user->setOu2(QStringLiteral("矿山分厂"));
        user->setUsername(QStringLiteral("zhangwei"));
        user->setJobnumber(QStringLiteral("10001"));
        client = std::make_unique<ServiceClient>(config, *session);
    }

    // Signs zhangwei in as the service's sign-in answer would, with `token`;
    // another employee number is another account, whatever its name.
    bool signIn(const QString &token = QStringLiteral("t-1"), const QString &name = "zhangwei",
                const QString &jobnumber = QStringLiteral("10001"))
    {
        bool failed = false;
        session->signIn(QJsonObject{{"userinfo", QJsonObject{{"username", name},
                                                             {"jobnumber", jobnumber},
                                                             {"mobile", "13800000001"},
                                                             {"ou1", "岚石水泥"},
                                                             {"ou2", "矿山分厂"},
                                                             {"token", token}}}},
                        [&](int, const QString &) { failed = true; });
        return !failed && session->state() == Session::State::SignedIn;
    }

    // A photo of that width saved as an image file, as the album hands it over.
    QUrl albumFile(int width)
    {
        const QString path = dir.filePath(QStringLiteral("album-%1.png").arg(width));
        return photo(width).save(path) ? QUrl::fromLocalFile(path) : QUrl();
    }
};

} // namespace orvelle::test
