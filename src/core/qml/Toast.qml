import QtQuick
import QtQuick.Controls
import Orvelle.Core

// Draws the toast of one screen, centred over it, while its manager shows one.
// Its box is made only then: most screens start without a toast.
Item {
    id: root
    required property ToastManager manager
    anchors.fill: parent
    visible: manager.isShowing
    z: 1000

    Loader {
        anchors.centerIn: parent
        active: root.visible
        sourceComponent: Rectangle {
            width: Math.min(label.implicitWidth + 48, root.width - 48)
            height: label.implicitHeight + 32
            radius: 8
            color: "#cc000000"

            Label {
                id: label
                anchors.centerIn: parent
                width: parent.width - 48
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                color: "white"
                font.pixelSize: Theme.middleTitleSize
                text: root.manager.message
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
        }
    }
}
