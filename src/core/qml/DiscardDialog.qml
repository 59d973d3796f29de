import QtQuick
import QtQuick.Controls
import Orvelle.Core

// Asks a screen's discard guard's question: "继续填写" or "放弃".
Dialog {
    id: dialog
    required property DiscardGuard guard

    objectName: "discardConfirmation"
    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 48 : 320, 400)
    modal: true
    closePolicy: Popup.NoAutoClose
    visible: guard.asking
    Label {
        width: parent.width
        wrapMode: Text.Wrap
        text: dialog.guard.question
        Accessible.name: text
    }
    footer: DialogButtonBox {
        Button {
            text: "继续填写"
            flat: true
            Accessible.name: text
            DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
        }
        Button {
            text: "放弃"
            flat: true
            Accessible.name: text
            DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
            onClicked: dialog.guard.discard()
        }
    }
    onRejected: guard.keepEditing()
}
