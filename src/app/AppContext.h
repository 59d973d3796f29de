#pragma once

#include "core/AppConfig.h"

#include <QObject>
#include <functional>
#include <memory>

namespace orvelle {

class ContentView;
class LoginView;
class User;

// Everything one run of the client shares. main() and the end-to-end tests
// build it with the same function.
struct AppContext
{
    AppConfig config;
    // Watched by the root view; created (and loaded) at start.
    std::unique_ptr<User> appState;
    // The process-wide record the service layer and the screens read.
    User *sharedUser = nullptr;

    // Called when a screen is made, to connect what later layers provide
    // (sign-in request, version check).
    std::function<void(LoginView &)> prepareLoginView;
    std::function<void(ContentView &)> prepareContentView;

    ~AppContext();
};

std::unique_ptr<AppContext> buildAppContext(const AppConfig &config);

} // namespace orvelle
