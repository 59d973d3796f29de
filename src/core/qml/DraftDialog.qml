import QtQuick
import QtQuick.Controls

// Offers a form's draft kept from before: "继续填写" brings it back, "放弃"
// asks once more before it is thrown away.
Dialog {
    id: dialog
    // The form's draft: offered, confirmingDiscard, savedAtText and
    // restore() / discard() / cancelDiscard().
    required property QtObject draft

    objectName: "draftOffer"
    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 48 : 320, 400)
    modal: true
    closePolicy: Popup.NoAutoClose
    visible: draft.offered
    Label {
        width: parent.width
        wrapMode: Text.Wrap
        text: dialog.draft.confirmingDiscard
              ? "确定放弃这份草稿吗？放弃后无法恢复。"
              : "有一份" + dialog.draft.savedAtText + "保存的草稿，是否继续填写？"
        Accessible.name: text
    }
    footer: DialogButtonBox {
        Button {
            text: dialog.draft.confirmingDiscard ? "取消" : "继续填写"
            flat: true
            Accessible.name: text
            onClicked: dialog.draft.confirmingDiscard ? dialog.draft.cancelDiscard()
                                                      : dialog.draft.restore()
        }
        Button {
            text: "放弃"
            flat: true
            Accessible.name: text
            onClicked: dialog.draft.discard()
        }
    }
}
