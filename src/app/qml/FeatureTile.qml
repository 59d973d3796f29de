import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// A menu tile: the symbol above the title, pressable.
Button {
    id: tile
    property string iconName
    Layout.fillWidth: true
    Layout.preferredHeight: 140
    flat: false
    Accessible.name: text
    background: Rectangle {
        radius: 12
        color: tile.down ? "#ffe5e5" : "white"
        border.color: tile.activeFocus ? Theme.accent : Theme.frame
        border.width: tile.activeFocus ? 2 : 1
    }
    contentItem: ColumnLayout {
        spacing: 8
        Image {
            Layout.alignment: Qt.AlignHCenter
            source: Theme.icon(tile.iconName)
            sourceSize: Qt.size(56, 56)
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: tile.text
            color: Theme.text
            font.pixelSize: Theme.bigTitleSize
        }
    }
}
