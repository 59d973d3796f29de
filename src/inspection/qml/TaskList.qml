import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Platform
import Orvelle.Inspection

// What both task lists draw: the scan button, the check points (or, in
// their place, the wait, the word that there are none today, or the error
// text with "重试") and the scanner page.
Item {
    id: list
    required property TaskListView view
    required property StackView stack
    readonly property bool shown: list.view.listState === ListState.Ready
                                  || list.view.listState === ListState.Empty

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
            visible: list.view.keptAt !== "" && list.shown
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
            visible: list.view.keptSheetsText !== "" && list.shown
            text: list.view.keptSheetsText
            color: Theme.faintText
            Accessible.name: text
        }
        ListStatus {
            loading: list.view.listState === ListState.Loading
            loadingText: "正在加载今日检查点…"
            empty: list.view.listState === ListState.Empty
            emptyText: "今天没有检查点"
            failed: list.view.listState === ListState.Failed
            errorMessage: list.view.errorMessage
            // A reload over rows already shown: they stay.
            refreshing: list.shown && list.view.isLoading
            onRetry: list.view.reload()
        }

        ListView {
            id: rows
            objectName: "checkitems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            // Also with no rows, so it can still be pulled down.
            visible: list.shown
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
            visible: !rows.visible
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
