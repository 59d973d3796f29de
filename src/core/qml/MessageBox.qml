import QtQuick
import QtQuick.Controls

// The message box every screen uses: "提示" with one "确定". The page opens it
// while its view's flag is set; `acknowledged` tells the view it was closed.
Dialog {
    id: box
    property string message
    // Bound to the view's flag; the box opens and closes with it.
    property bool shown: false
    property string buttonText: "确定"
    signal acknowledged

    onShownChanged: shown ? open() : close()
    Component.onCompleted: if (shown) open()

    objectName: "MessageBox"
    title: "提示"
    modal: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: Math.min(parent ? parent.width - 48 : 320, 400)

    Label {
        width: parent.width
        wrapMode: Text.Wrap
        text: box.message
        Accessible.name: text
    }

    footer: DialogButtonBox {
        Button {
            text: box.buttonText
            Accessible.name: text
            flat: true
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
    onAccepted: acknowledged()
}
