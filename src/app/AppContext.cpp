#include "AppContext.h"

#include "session/User.h"

namespace orvelle {

AppContext::~AppContext() = default;

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config)
{
    auto context = std::make_unique<AppContext>();
    context->config = config;
    context->appState = std::make_unique<User>();
    context->sharedUser = &User::shared();
    return context;
}

} // namespace orvelle
