import QtQuick
import QtQuick.Controls

// The red action button. Drawn with a plain rectangle: the Material style's
// elevated background needs a shader layer that the software renderer
// (offscreen, old GPUs) leaves out, which would hide the button.
Button {
    id: button
    implicitHeight: Theme.touchTarget + 4
    font.pixelSize: Theme.bigTitleSize
    Accessible.name: text
    contentItem: Label {
        text: button.text
        font: button.font
        color: "white"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        radius: 6
        color: !button.enabled ? Theme.frame
                               : button.down ? Theme.accentDark : Theme.accent
        border.width: button.visualFocus ? 2 : 0
        border.color: Theme.accentDark
    }
}
