#pragma once

#include <QString>

namespace orvelle {

// The web engine's sandbox stays on for every user. Chromium refuses it as
// root, so only root may run without it. For anyone else the engine gets,
// of QTWEBENGINE_CHROMIUM_FLAGS, only flags known to be harmless: Chromium
// takes many spellings of the flags that turn its sandbox off (one dash or
// two, --single-process, --no-zygote, ...), so a list of bad ones is never
// complete. Called before the application object is made.
void keepWebSandbox(bool runsAsRoot);

// The harmless flags of a QTWEBENGINE_CHROMIUM_FLAGS text, in their order,
// separated by single spaces.
QString harmlessChromiumFlags(const QString &flags);

} // namespace orvelle
