import QtQuick
import QtQuick.Controls
import Orvelle.Core

// The modal progress toast: covers its page and takes every tap while shown.
// Long work says how far it is and may offer one way out.
Popup {
    id: overlay
    property string text
    property bool shown: false
    // A second line (bytes sent of the whole) and a bar, when there is a measure.
    property string detail
    property real value: -1
    property string actionText
    property bool actionShown: false
    signal actionTriggered
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
        // The bar stands in for it while there is a measure: nothing to
        // draw between two steps of the work.
        BusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: overlay.value < 0
            running: overlay.visible && visible
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: overlay.text
            color: "white"
            font.pixelSize: Theme.middleTitleSize
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: text !== ""
            text: overlay.detail
            color: "white"
            font.pixelSize: Theme.smallTextSize
            Accessible.name: text
        }
        ProgressBar {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 200
            visible: overlay.value >= 0
            value: Math.max(0, overlay.value)
        }
        Button {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: overlay.actionShown
            text: overlay.actionText
            Accessible.name: text
            onClicked: overlay.actionTriggered()
        }
    }
}
