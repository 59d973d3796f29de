import QtQuick
import QtQuick.Controls
import Orvelle.Core

// The modal progress toast: covers its page and takes every tap while shown.
Popup {
    id: overlay
    property string text
    property bool shown: false
    parent: Overlay.overlay
    anchors.centerIn: parent
    modal: true
    closePolicy: Popup.NoAutoClose
    visible: shown
    padding: Theme.spacing * 1.5
    background: Rectangle {
        radius: 8
        color: "#cc000000"
    }
    contentItem: Column {
        spacing: Theme.spacing / 2
        BusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            running: overlay.visible
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: overlay.text
            color: "white"
            font.pixelSize: Theme.middleTitleSize
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }
    }
}
