import QtQuick
import QtQuick.Controls

// The dialog of a MessageBox, which opens and closes it with its flag.
Dialog {
    id: dialog
    required property MessageBox box

    parent: box.parent
    title: box.title
    modal: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay
    width: Math.min(parent ? parent.width - 48 : 320, 400)

    Connections {
        target: dialog.box
        function onShownChanged() { dialog.box.shown ? dialog.open() : dialog.close() }
    }
    Component.onCompleted: if (box.shown) open()

    Label {
        width: parent.width
        wrapMode: Text.Wrap
        text: dialog.box.message
        Accessible.name: text
    }

    footer: DialogButtonBox {
        Button {
            text: dialog.box.buttonText
            Accessible.name: text
            flat: true
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
    }
    onAccepted: box.acknowledged()
}
