#pragma once

// The client's parts as the benchmarks drive them, against a dev service of
// their own, signed in on the sign-in screen.

#include "DevServiceChild.h"
#include "account/LoginView.h"
#include "account/VersionChecker.h"
#include "common/BenchWaits.h"
#include "core/AppConfig.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "inspection/OnInspectionListView.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "outbox/FormFiling.h"
#include "outbox/Outbox.h"
#include "photos/PhotoIntake.h"
#include "platform/Beeper.h"
#include "platform/Camera.h"
#include "session/Session.h"
#include "store/DeviceStore.h"

#include <QColor>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace orvelle::bench {

// A camera picture of its own for every number, stored as the photo intake
// stores what the camera takes; empty when it could not be.
inline StoredPhoto storedPicture(DeviceStore &store, int number)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(number * 37 % 360, 160, 40 + number % 200));
    PhotoIntake intake(store);
    StoredPhoto stored;
    intake.keepImage(image, [&stored](const std::optional<StoredPhoto> &photo) {
        stored = photo.value_or(StoredPhoto{});
    });
    waitUntil(&intake, &PhotoIntake::pendingChanged, [&intake] { return intake.pending() == 0; });
    return stored;
}

struct SignedInClient
{
    // `name` goes into what the bench prints and into its application name.
    // Made before the application object, so that what else the client
    // keeps goes to this run's folder.
    explicit SignedInClient(const char *name)
        : name(name)
    {
        qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toUtf8());
    }

    const char *name;
    QTemporaryDir folder;
    QString address;
    QString dataDir = folder.filePath(QStringLiteral("devserver"));
    std::unique_ptr<DevServiceChild> devService;
    AppConfig config = AppConfig::defaults();
    // Named, not the default: the default record lies in the user's own
    // configuration, which a bench must neither read nor write.
    QString accountFile = folder.filePath(QStringLiteral("account.ini"));
    Session session{accountFile};
    User &appState = session.appState();
    User &user = session.account();
    std::unique_ptr<ServiceClient> client;
    std::unique_ptr<PhotoUploader> uploader;
    std::unique_ptr<CameraProvider> noCamera = CameraProvider::none();
    std::unique_ptr<Beeper> silent = Beeper::silent();
    DeviceStore store;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<FormServices> forms;

    // Prints why the bench cannot go on; its exit status.
    int fail(const QString &what) const
    {
        std::fprintf(stderr, "bench %s: %s\n", name, qPrintable(what));
        return 2;
    }

    // Call after the application object: starts the dev service and signs
    // in; what went wrong, or "".
    QString start()
    {
        QCoreApplication::setApplicationName(QStringLiteral("orvelle-bench-")
                                             + QLatin1String(name));
        // One debug line per request would be most of what the bench prints.
        QLoggingCategory::setFilterRules(QStringLiteral("orvelle.*.debug=false"));
        address = freeLoopbackAddress();
        if (address.isEmpty())
            return QStringLiteral("no free loopback address");
        devService = std::make_unique<DevServiceChild>(QStringLiteral(ORVELLE_DEVSERVER_EXE),
                                                       dataDir, address);
        if (QString error; !devService->start({}, &error))
            return error;
        config.serviceHost = address;
        config.fileStoreHost = address;
        config.caFile = dataDir + QStringLiteral("/tls/ca.pem");
        client = std::make_unique<ServiceClient>(config, session);
        uploader = std::make_unique<PhotoUploader>(config);
        if (!store.open(folder.filePath(QStringLiteral("device"))))
            return QStringLiteral("the device store did not open");
        const FilingServices filing{*client, *uploader, store, session};
        outbox = std::make_unique<Outbox>(filing, Scheduler::system());
        forms = std::make_unique<FormServices>(
            FormServices{filing, outbox.get(), *noCamera, config.notesServer});

        VersionChecker versions(VersionChecker::serviceQuery(*client), QStringLiteral("0"),
                                Scheduler::system(), UrlOpener::system());
        LoginView login(session, *client, versions, QUrl());
        login.setProperty("phoneNumber", QStringLiteral("13800000001"));
        login.setProperty("password", QStringLiteral("orvelle1"));
        login.signIn();
        if (!waitUntil(&appState, &User::isloginChanged,
                       [&] { return appState.islogin() == u"true"; })
            || !user.token())
            return QStringLiteral("sign-in failed");
        return {};
    }

    // The keys of the check points the on-site list offers today, kept in
    // the store as the app keeps them.
    QStringList checkPointKeys()
    {
        OnInspectionListView checkPoints(*forms, config, *silent);
        checkPoints.appeared();
        waitUntil(checkPoints.checkitems(), &CheckitemListModel::modelReset,
                  [&] { return checkPoints.checkitems()->rowCount() > 0; });
        QStringList keys;
        for (const Checkitem &point : checkPoints.checkitems()->records())
            if (point.key)
                keys << *point.key;
        return keys;
    }
};

} // namespace orvelle::bench
