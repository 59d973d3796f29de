#pragma once

#include "FirstFrameGate.h"
#include "core/AppConfig.h"
#include "platform/PlatformServices.h"
#include "store/StoreLock.h"

#include <QObject>
#include <memory>
#include <optional>
#include <utility>

class QTemporaryDir;

namespace orvelle {

class AccountWork;
class DeviceStore;
class Outbox;
class PhotoUploader;
class ServiceClient;
class Session;
struct FormServices;
class VersionChecker;

// Everything one run of the client shares. main() and the end-to-end tests
// build it with the same function.
struct AppContext
{
    AppConfig config;
    // The sign-in state and the two account records it keeps.
    std::unique_ptr<Session> session;

    std::unique_ptr<ServiceClient> serviceClient;
    std::unique_ptr<PhotoUploader> photoUploader;
    // Drafts kept on the device, opened when first needed (not on the way to
    // the first frame), only while this run holds the folder's lock. A
    // damaged store is moved aside with its photos and a new one started;
    // when none can be opened (a full disk among the causes), a private
    // temporary folder keeps this run's work instead. Never opened while
    // storeRefusal() says why.
    DeviceStore *deviceStore();
    // What the user must hear about the store opened this run (an unreadable
    // one moved aside, a full disk, or only a temporary one): given once, then "".
    QString takeStoreNotice() { return std::exchange(m_storeNotice, QString()); }
    // Why this run must not use the device folder at all (another client
    // holds it, or a newer client wrote it), "" while it may. Nothing of the
    // folder is changed and nothing is filed or delivered; the client shows
    // only this. Known when the store is first asked for.
    QString storeRefusal() const { return m_storeRefusal; }
    // Keeps `lock` (of config.deviceFolder) for the run; buildAppContext does this.
    void holdStore(StoreLock lock);
    // Delivers what the forms filed; none when no store opened at all.
    Outbox *outbox();
    // What the forms are built with.
    FormServices &formServices();
    // The camera (or the configured image standing in for it) and the beeper.
    PlatformServices platform;
    // Asked by the sign-in screen and the main tabs each time they appear,
    // once the first frame is shown.
    std::unique_ptr<VersionChecker> versionChecker;
    // Held by the client until its window has shown the first frame.
    FirstFrameGate firstFrame;
    // The outbox and the lists kept for a round without a network, run from
    // the first frame whatever page is up.
    std::unique_ptr<AccountWork> accountWork;

    ~AppContext();

private:
    void openStore();
    void setDamagedStoreAside(const QString &error);
    void openInTemporaryFolder(const QString &notice);

    std::optional<StoreLock> m_storeLock;
    QString m_storeRefusal;
    std::unique_ptr<QTemporaryDir> m_temporaryStore;
    std::unique_ptr<DeviceStore> m_deviceStore;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<FormServices> m_formServices;
    QString m_storeNotice;
};

// With `holdUntilFirstFrame` the caller opens `firstFrame` once its window has
// shown the first frame. The lock of the device folder is `storeLock` when
// the caller took it first, else taken here.
std::unique_ptr<AppContext> buildAppContext(const AppConfig &config,
                                            bool holdUntilFirstFrame = false,
                                            std::optional<StoreLock> storeLock = std::nullopt);

} // namespace orvelle
