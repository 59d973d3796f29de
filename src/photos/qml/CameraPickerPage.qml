import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import QtMultimedia
import Orvelle.Core
import Orvelle.Platform
import Orvelle.Photos

// Draws CameraPicker: live picture and shutter, then accept or retake; with no
// camera, the choice of one image file. The host closes it on `finished`.
Page {
    id: page
    required property CameraPicker view
    objectName: "CameraPicker"
    title: page.view.title
    background: Rectangle { color: "black" }

    VideoOutput {
        id: preview
        anchors.fill: parent
        visible: page.view.hasCamera
        fillMode: VideoOutput.PreserveAspectFit
        Component.onCompleted: page.view.videoSink = preview.videoSink
        // A taken photo is shown at this size, not whole.
        Binding {
            target: page.view
            property: "previewSize"
            value: Qt.size(preview.width * Screen.devicePixelRatio,
                           preview.height * Screen.devicePixelRatio)
        }
        // The camera must not draw into a sink that is gone.
        Component.onDestruction: if (page.view) page.view.videoSink = null
    }

    component Action: PrimaryButton {
        Layout.fillWidth: true
        Layout.preferredHeight: Theme.touchTarget
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: Theme.spacing * 2
        spacing: Theme.spacing

        Label {
            Layout.fillWidth: true
            visible: page.view.failure !== ""
            text: page.view.failure
            color: "white"
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        RowLayout {
            spacing: Theme.spacing
            Action {
                visible: page.view.hasCamera && !page.view.hasCapture
                enabled: !page.view.capturing
                text: "拍照"
                onClicked: page.view.shutter()
            }
            Action {
                visible: page.view.hasCapture
                text: "使用照片"
                onClicked: page.view.accept()
            }
            Action {
                visible: page.view.hasCapture
                text: "重拍"
                onClicked: page.view.retake()
            }
            Action {
                visible: !page.view.hasCamera
                text: "选择图片"
                onClicked: fileDialog.open()
            }
            Action {
                text: "取消"
                onClicked: page.view.cancel()
            }
        }
    }

    FileDialog {
        id: fileDialog
        title: "选择图片"
        objectName: "pictureFileDialog"
        nameFilters: PictureFormats.nameFilters
        onAccepted: page.view.chooseFile(selectedFile)
    }
}
