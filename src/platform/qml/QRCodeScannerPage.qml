import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import QtMultimedia
import Orvelle.Core
import Orvelle.Platform

// Draws QRCodeScannerView: the camera's picture filling the page, and the
// choice of an image file (the only way without a camera).
Page {
    id: page
    required property QRCodeScannerView view
    objectName: "QRCodeScannerView"
    title: page.view.title
    background: Rectangle { color: "black" }

    VideoOutput {
        id: preview
        anchors.fill: parent
        visible: page.view.hasCamera
        fillMode: VideoOutput.PreserveAspectCrop
        Component.onCompleted: page.view.videoSink = preview.videoSink
        // The camera must not draw into a sink that is gone.
        Component.onDestruction: if (page.view) page.view.videoSink = null
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: Theme.spacing * 2
        spacing: Theme.spacing

        Label {
            Layout.alignment: Qt.AlignHCenter
            visible: page.view.fileWithoutCode
            text: page.view.noCodeText
            color: "white"
            font: TextStyles.middleTitle
            Accessible.name: text
        }
        BusyIndicator {
            Layout.alignment: Qt.AlignHCenter
            visible: page.view.decodingFile
            running: visible
        }
        PrimaryButton {
            Layout.fillWidth: true
            text: "选择二维码图片"
            enabled: !page.view.decodingFile
            onClicked: fileDialog.open()
        }
    }

    FileDialog {
        id: fileDialog
        title: "选择二维码图片"
        nameFilters: PictureFormats.nameFilters
        onAccepted: page.view.decodeFile(selectedFile)
    }
}
