#include "AppContext.h"

#include "account/VersionChecker.h"
#include "core/Logging.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "outbox/Outbox.h"
#include "session/User.h"
#include "store/DeviceStore.h"
#include <orvelle/BuildInfo.h>

namespace orvelle {

AppContext::~AppContext() = default;

DeviceStore *AppContext::deviceStore()
{
    if (!m_deviceStore) {
        m_deviceStore = std::make_unique<DeviceStore>();
        if (!config.deviceFolder.isEmpty() && !m_deviceStore->open(config.deviceFolder))
            qCDebug(lcStore) << "drafts are not kept:" << m_deviceStore->errorString();
    }
    return m_deviceStore.get();
}

Outbox *AppContext::outbox()
{
    if (!m_outbox && deviceStore()->isOpen())
        m_outbox = std::make_unique<Outbox>(*m_deviceStore, *serviceClient, *photoUploader,
                                            *sharedUser, Scheduler::system());
    return m_outbox.get();
}

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config)
{
    auto context = std::make_unique<AppContext>();
    context->config = config;
    context->appState = std::make_unique<User>();
    context->sharedUser = std::make_unique<User>();
    // Read once more through the setters, so each value is written back once.
    context->sharedUser->reloadThroughSetters();
    // One trust for both: the system store is read once.
    const auto trust = std::make_shared<TlsTrust>(config.caFile);
    context->serviceClient = std::make_unique<ServiceClient>(config, *context->sharedUser, trust);
    context->photoUploader = std::make_unique<PhotoUploader>(config, trust);
    context->platform = buildPlatformServices(config.cameraImage);
    context->versionChecker = std::make_unique<VersionChecker>(
        VersionChecker::serviceQuery(*context->serviceClient),
        QString::fromLatin1(build::buildNumber), Scheduler::system(), UrlOpener::system());
    return context;
}

} // namespace orvelle
