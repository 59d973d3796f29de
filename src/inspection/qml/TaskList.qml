import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Platform
import Orvelle.Inspection

// What both task lists draw: the scan button, the check points (or the error
// text with "重试" in their place) and the scanner sheet.
Item {
    id: list
    required property TaskListView view

    DismissKeyboardOnTapModifier {
        anchors.fill: parent
        z: -1
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        IconTextButton {
            Layout.alignment: Qt.AlignRight
            text: list.view.scanText
            iconName: "qr"
            onClicked: list.view.isScannerPresented = true
        }
        ColumnLayout {
            Layout.fillWidth: true
            Layout.margins: Theme.spacing
            visible: list.view.hasErrorMessage
            spacing: Theme.spacing
            Label {
                Layout.fillWidth: true
                text: list.view.errorMessage
                color: "red"
                font.pixelSize: Theme.bigTitleSize
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Accessible.name: text
            }
            PrimaryButton {
                Layout.alignment: Qt.AlignHCenter
                text: list.view.retryText
                onClicked: list.view.reload()
            }
        }
        ListView {
            id: rows
            objectName: "checkitems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: !list.view.hasErrorMessage
            clip: true
            model: list.view.checkitems
            delegate: InspectionRow {
                required property int index
                onClicked: list.view.pick(index)
            }
            // Pulled down past its top: load again.
            onDragEnded: if (contentY < originY - 80) list.view.reload()
        }
        Item {
            Layout.fillHeight: true
            visible: list.view.hasErrorMessage
        }
    }

    Popup {
        id: scannerSheet
        parent: Overlay.overlay
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        visible: list.view.isScannerPresented
        onClosed: list.view.isScannerPresented = false
        contentItem: Loader {
            active: list.view.isScannerPresented && list.view.scanner !== null
            sourceComponent: QRCodeScannerPage { view: list.view.scanner }
        }
    }
}
