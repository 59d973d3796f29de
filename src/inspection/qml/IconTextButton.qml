import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// A flat button with a symbol beside its text; the symbol keeps its own colours.
ToolButton {
    id: button
    property string iconName
    implicitHeight: Theme.touchTarget
    Accessible.name: text
    contentItem: RowLayout {
        spacing: 6
        Image {
            source: Theme.icon(button.iconName)
            sourceSize: Qt.size(24, 24)
            opacity: button.enabled ? 1 : 0.4
            Accessible.ignored: true
        }
        Label {
            text: button.text
            color: button.enabled ? Theme.text : Theme.faintText
            font.pixelSize: Theme.middleTitleSize
        }
    }
}
