import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Inspection

// Draws DetailedInspectionListView: one submitted sheet, read only, with its
// photos; a photo opens enlarged. Brings its own "返回", which the wait for
// the sheet never covers.
Page {
    id: page
    required property DetailedInspectionListView view
    objectName: "DetailedInspectionListView"
    title: page.view.title
    readonly property bool hidesPlatformBack: page.view.hidesPlatformBack
    // The back key asks the view too, so it keeps its guards.
    function goBack() { page.view.goBack() }
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        IconTextButton {
            text: "返回"
            iconName: "back"
            onClicked: page.view.goBack()
        }
        ListStatus {
            loading: page.view.listState === ListState.Loading
            loadingText: "正在加载检查表…"
            empty: page.view.listState === ListState.Empty
            emptyText: "这张检查表没有检查项"
            failed: page.view.listState === ListState.Failed
            errorMessage: page.view.errorMessage
            onRetry: page.view.retry()
        }
        ListView {
            id: items
            objectName: "checkitems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: page.view.listState === ListState.Ready
                     || page.view.listState === ListState.Empty
            clip: true
            model: page.view.checkitems
            delegate: Rectangle {
                id: itemRow
                required property string title
                required property bool qualified
                required property bool unqualified
                required property var description
                width: ListView.view.width
                implicitHeight: column.implicitHeight + Theme.spacing * 2
                color: "white"
                ColumnLayout {
                    id: column
                    anchors.fill: parent
                    anchors.margins: Theme.spacing
                    spacing: 8
                    Label {
                        Layout.fillWidth: true
                        text: itemRow.title
                        color: Theme.text
                        font.pixelSize: Theme.bigTitleSize
                        font.bold: true
                        wrapMode: Text.Wrap
                        Accessible.name: text
                    }
                    JudgementMarks {
                        Layout.fillWidth: true
                        itemTitle: itemRow.title
                        qualified: itemRow.qualified
                        unqualified: itemRow.unqualified
                    }
                    Label {
                        Layout.fillWidth: true
                        visible: itemRow.description !== undefined
                        text: itemRow.description === undefined ? "" : itemRow.description
                        color: Theme.text
                        font.pixelSize: Theme.regularTitleSize
                        wrapMode: Text.Wrap
                        Accessible.name: text
                    }
                }
                Rectangle {
                    anchors.bottom: parent.bottom
                    width: parent.width
                    height: 1
                    color: Theme.frame
                }
            }
            footer: Flow {
                width: ListView.view.width
                padding: Theme.spacing
                spacing: 15
                Repeater {
                    model: page.view.photoUrls
                    delegate: ItemDelegate {
                        id: cell
                        required property url modelData
                        required property int index
                        width: 80
                        height: 80
                        padding: 0
                        Accessible.name: "照片 " + (index + 1)
                        onClicked: page.view.openPhoto(modelData)
                        contentItem: RemotePhoto { source: cell.modelData }
                        background: Rectangle { color: Theme.frame }
                    }
                }
            }
        }
    }

    Popup {
        id: preview
        parent: Overlay.overlay
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        closePolicy: Popup.NoAutoClose
        visible: page.view.showsPreview
        background: Rectangle { color: "black" }
        contentItem: ColumnLayout {
            spacing: 0
            RemotePhoto {
                Layout.fillWidth: true
                Layout.fillHeight: true
                fillMode: Image.PreserveAspectFit
                // A new id reloads even the same address.
                source: page.view.selectedImageId !== "" ? page.view.selectedImageUrl : ""
            }
            PrimaryButton {
                Layout.fillWidth: true
                Layout.margins: Theme.spacing
                text: "关闭"
                onClicked: page.view.closePreview()
            }
        }
    }
}
