// Not part of the client: it names, for the package's Depends, the QML
// modules Qt loads for the pages without an import in them.
// The controls' style, chosen in C++ (QQuickStyle).
import QtQuick.Controls.Material
// Qt's own file dialog, drawn in QML where the desktop offers none.
import QtQuick.Dialogs.quickimpl

QtObject {}
