#pragma once

#include "core/AppConfig.h"
#include "platform/PlatformServices.h"

#include <QObject>
#include <memory>

namespace orvelle {

class DeviceStore;
class Outbox;
class PhotoUploader;
class ServiceClient;
class User;
class VersionChecker;

// Everything one run of the client shares. main() and the end-to-end tests
// build it with the same function.
struct AppContext
{
    AppConfig config;
    // Watched by the root view; created (and loaded) at start.
    std::unique_ptr<User> appState;
    // The account record the service client and the screens read and write.
    std::unique_ptr<User> sharedUser;

    std::unique_ptr<ServiceClient> serviceClient;
    std::unique_ptr<PhotoUploader> photoUploader;
    // Drafts kept on the device, opened when a form first needs it (not on
    // the way to the first frame); closed, keeping nothing, when it cannot open.
    DeviceStore *deviceStore();
    // Delivers what the forms filed; none without a store.
    Outbox *outbox();
    // The camera (or the configured image standing in for it) and the beeper.
    PlatformServices platform;
    // Asked by the sign-in screen and the main tabs each time they appear.
    std::unique_ptr<VersionChecker> versionChecker;

    ~AppContext();

private:
    std::unique_ptr<DeviceStore> m_deviceStore;
    std::unique_ptr<Outbox> m_outbox;
};

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config);

} // namespace orvelle
