#include "AppContext.h"

#include "account/VersionChecker.h"
#include "core/Scheduler.h"
#include "core/UrlOpener.h"
#include "net/PhotoUploader.h"
#include "net/ServiceClient.h"
#include "session/User.h"
#include <orvelle/BuildInfo.h>

namespace orvelle {

AppContext::~AppContext() = default;

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config)
{
    auto context = std::make_unique<AppContext>();
    context->config = config;
    context->appState = std::make_unique<User>();
    context->sharedUser = &User::shared();
    context->serviceClient = std::make_unique<ServiceClient>(config);
    context->photoUploader = std::make_unique<PhotoUploader>(config);
    context->platform = buildPlatformServices(config.cameraImage);
    context->versionChecker = std::make_unique<VersionChecker>(
        VersionChecker::serviceQuery(*context->serviceClient),
        QString::fromLatin1(build::buildNumber), Scheduler::system(), UrlOpener::system());
    return context;
}

} // namespace orvelle
