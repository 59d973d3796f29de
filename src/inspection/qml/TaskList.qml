import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Platform
import Orvelle.Inspection

// What both task lists draw: the scan button, the check points (or the error
// text with "重试" in their place) and the scanner page.
Item {
    id: list
    required property TaskListView view
    required property StackView stack

    DismissKeyboardOnTapModifier {
        anchors.fill: parent
        z: -1
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        IconTextButton {
            Layout.alignment: Qt.AlignRight
            text: "扫描二维码"
            iconName: "qr"
            onClicked: list.view.isScannerPresented = true
        }
        Label {
            objectName: "keptList"
            Layout.fillWidth: true
            Layout.margins: Theme.spacing
            visible: list.view.keptAt !== "" && !list.view.hasErrorMessage
            text: "无法连接服务，显示 " + list.view.keptAt + " 加载的检查点"
            color: Theme.faintText
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        Label {
            objectName: "keptSheets"
            Layout.fillWidth: true
            Layout.leftMargin: Theme.spacing
            Layout.rightMargin: Theme.spacing
            visible: list.view.keptSheetsText !== "" && !list.view.hasErrorMessage
            text: list.view.keptSheetsText
            color: Theme.faintText
            Accessible.name: text
        }
        ErrorRetry {
            visible: list.view.hasErrorMessage
            message: list.view.errorMessage
            retryText: "重试"
            onRetry: list.view.reload()
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
                tellsKept: list.view.keptSheetsText !== ""
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

    AlertBox { alert: list.view.alert }

    // The scanner is a page of its own, with the title and "返回" of the
    // frame: a user who finds no code can always go back.
    StackNavigation {
        stack: list.stack
        active: list.view.isScannerPresented && list.view.scanner !== null
        screen: Component { QRCodeScannerPage { view: list.view.scanner } }
        onClosed: list.view.isScannerPresented = false
    }
}
