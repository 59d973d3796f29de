import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Photos

// The sheets PhotoAttachments opens: the choice of picture source, the album
// dialog and the camera over the whole window; and its toast over them.
Item {
    id: sheets
    required property PhotoAttachments attachments
    // Over the page, for the toast; the sheets themselves lie in the overlay.
    anchors.fill: parent

    // "选择图片来源"
    Dialog {
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 48 : 320, 400)
        modal: true
        title: "选择图片来源"
        visible: sheets.attachments.showImageSourceActionSheet
        onClosed: sheets.attachments.showImageSourceActionSheet = false
        contentItem: ColumnLayout {
            spacing: Theme.spacing / 2
            Button {
                Layout.fillWidth: true
                flat: true
                text: "相册"
                Accessible.name: text
                onClicked: sheets.attachments.chooseAlbum()
            }
            Button {
                Layout.fillWidth: true
                flat: true
                text: "拍照"
                Accessible.name: text
                onClicked: sheets.attachments.chooseCamera()
            }
            Button {
                Layout.fillWidth: true
                flat: true
                text: "取消"
                Accessible.name: text
                onClicked: sheets.attachments.showImageSourceActionSheet = false
            }
        }
    }

    ImagePickerDialog {
        id: albumDialog
        view: sheets.attachments.imagePicker
        onAccepted: sheets.attachments.showImagePicker = false
        onRejected: sheets.attachments.showImagePicker = false
    }
    Connections {
        target: sheets.attachments
        function onChanged() {
            if (sheets.attachments.showImagePicker && !albumDialog.visible)
                albumDialog.open()
        }
    }

    Popup {
        parent: Overlay.overlay
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        closePolicy: Popup.NoAutoClose
        visible: sheets.attachments.showCameraPicker
        contentItem: Loader {
            active: sheets.attachments.showCameraPicker && sheets.attachments.cameraPicker !== null
            sourceComponent: CameraPickerPage { view: sheets.attachments.cameraPicker }
        }
    }

    Toast { manager: sheets.attachments.toastManager }
}
