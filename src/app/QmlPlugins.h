#pragma once

// The QML modules are static libraries: a program that loads their pages
// includes this once so the linker keeps their plugins.
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(OrvelleCorePlugin)
Q_IMPORT_QML_PLUGIN(OrvelleSessionPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePlatformPlugin)
Q_IMPORT_QML_PLUGIN(OrvellePhotosPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleAccountPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleInspectionPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleHazardPlugin)
Q_IMPORT_QML_PLUGIN(OrvelleAppPlugin)
