#pragma once

#include <QString>
#include <QStringList>

class QQmlEngine;

namespace orvelle {

// What the command line asked for.
struct LaunchOptions
{
    QString configFile;
    QString screenshotFile;
    bool showVersion = false;
    bool showHelp = false;
    QString error;
    QString helpText;
};

LaunchOptions parseLaunchOptions(const QStringList &arguments);
QString versionLine();

// The process holds the password and the token: no core dump may write
// them to disk, and no other process of the user may read its memory.
void forbidCoreDumps();

// Style and import paths shared by the client and the page tests.
void prepareQuickEnvironment();
void prepareEngine(QQmlEngine &engine);

// The application entry: parses the options, loads the configuration, builds
// the context and shows the root screen. Returns the process exit code.
int runOrvelle(int argc, char **argv);

} // namespace orvelle
