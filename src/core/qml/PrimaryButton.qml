import QtQuick
import QtQuick.Controls

// The red action button. Drawn with a plain rectangle: the Material style's
// elevated background needs a shader layer that the software renderer
// (offscreen, old GPUs) leaves out, which would hide the button.
// While `busy`, a spinner beside the text shows that its work is under way;
// the button stays tappable and its view decides what a tap then does.
Button {
    id: button
    property bool busy: false
    // Said to a screen reader while busy.
    property string busyDescription
    implicitHeight: Theme.touchTarget + 4
    // A short caption ("重试") still gets a button a gloved finger finds.
    implicitWidth: Math.max(implicitContentWidth + 48, 120)
    font.pixelSize: Theme.bigTitleSize
    Accessible.name: text
    Accessible.description: busy ? busyDescription : ""
    contentItem: Item {
        implicitWidth: caption.implicitWidth + (button.busy ? spinner.width + 8 : 0)
        implicitHeight: caption.implicitHeight
        Label {
            id: caption
            anchors.centerIn: parent
            // Room for the spinner on its left keeps the pair centred.
            anchors.horizontalCenterOffset: button.busy ? (spinner.width + 8) / 2 : 0
            text: button.text
            font: button.font
            color: "white"
        }
        BusyIndicator {
            id: spinner
            objectName: "busyIndicator"
            anchors.right: caption.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            width: caption.implicitHeight + 6
            height: width
            visible: button.busy
            running: button.busy
            // A white ring on the red button, whatever the style's accent.
            contentItem: Item {
                RotationAnimator on rotation {
                    running: spinner.running
                    from: 0
                    to: 360
                    duration: 900
                    loops: Animation.Infinite
                }
                Rectangle {
                    anchors.fill: parent
                    radius: width / 2
                    color: "transparent"
                    border.width: 3
                    border.color: "#80ffffff"
                }
                Rectangle {
                    width: 6
                    height: 6
                    radius: 3
                    x: (parent.width - width) / 2
                    color: "white"
                }
            }
        }
    }
    background: Rectangle {
        radius: 6
        color: !button.enabled ? Theme.frame
                               : button.down ? Theme.accentDark : Theme.accent
        border.width: button.visualFocus ? 2 : 0
        border.color: Theme.accentDark
    }
}
