import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Photos
import Orvelle.Platform
import Orvelle.Inspection

// Draws DetailedOnspectionListView: the items to judge, the photos, "上传".
// Brings its own "返回", which asks before filled-in work is discarded.
Page {
    id: page
    required property DetailedOnspectionListView view
    objectName: "DetailedOnspectionListView"
    title: page.view.title
    readonly property bool hidesPlatformBack: page.view.hidesPlatformBack
    // The back key asks the view too, so it keeps its guards.
    function goBack() { page.view.goBack() }
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    DismissKeyboardOnTapModifier {
        anchors.fill: parent
        z: -1
    }
    // The list takes every press on its area, and paints over anything laid
    // under it; this one lies under the rows, inside the list's content, kept
    // over the part in view so the empty rows are covered too.
    DismissKeyboardOnTapModifier {
        parent: items.contentItem
        x: items.contentX
        y: items.contentY
        width: items.width
        height: items.height
        z: -1
    }
    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        IconTextButton {
            text: "返回"
            enabled: page.view.canGoBack
            iconName: "back"
            onClicked: page.view.goBack()
        }
        DraftProblem { draft: page.view.draft }
        // The blank sheet's wait stands in the page: "返回" stays free.
        ListStatus {
            loading: page.view.listState === ListState.Loading
            loadingText: "正在加载检查表…"
            empty: page.view.listState === ListState.Empty
            emptyText: "这张检查表没有检查项"
            failed: page.view.listState === ListState.Failed
            errorMessage: page.view.errorMessage
            onRetry: page.view.appeared()
        }
        ListView {
            id: items
            objectName: "checkitems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            cacheBuffer: 0
            model: page.view.listState === ListState.Ready ? page.view.checkitems : null
            delegate: Rectangle {
                id: itemRow
                required property InspectionItemView itemView
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
                        text: itemRow.itemView.title
                        color: Theme.text
                        font.pixelSize: Theme.bigTitleSize
                        font.bold: true
                        wrapMode: Text.Wrap
                        Accessible.name: text
                    }
                    JudgementMarks {
                        Layout.fillWidth: true
                        itemTitle: itemRow.itemView.title
                        pressable: true
                        qualified: itemRow.itemView.isQualified === true
                        unqualified: itemRow.itemView.isQualified === false
                        onQualifyPressed: itemRow.itemView.qualify()
                        onDisqualifyPressed: itemRow.itemView.disqualify()
                    }
                    TextArea {
                        objectName: "description"
                        Layout.fillWidth: true
                        Layout.minimumHeight: itemRow.itemView.textEditorHeight
                        visible: itemRow.itemView.showTextField
                        wrapMode: TextEdit.Wrap
                        text: itemRow.itemView.inputText
                        font.pixelSize: Theme.regularTitleSize
                        Accessible.name: itemRow.itemView.title
                        onTextChanged: if (text !== itemRow.itemView.inputText)
                                           itemRow.itemView.inputText = text
                        onActiveFocusChanged: page.view.focusedField = activeFocus ? "inputText" : ""
                        background: Rectangle {
                            border.color: Theme.frame
                            radius: 4
                        }
                    }
                }
                Rectangle {
                    anchors.bottom: parent.bottom
                    width: parent.width
                    height: 1
                    color: Theme.frame
                }
            }
            footer: ColumnLayout {
                width: ListView.view.width
                spacing: Theme.spacing
                PhotoGrid {
                    Layout.fillWidth: true
                    Layout.margins: Theme.spacing
                    attachments: page.view.photos
                }
                PrimaryButton {
                    Layout.fillWidth: true
                    Layout.leftMargin: Theme.spacing
                    Layout.rightMargin: Theme.spacing
                    Layout.bottomMargin: Theme.spacing
                    text: "上传"
                    enabled: page.view.canUpload
                    onClicked: page.view.upload()
                }
            }
        }
    }

    PhotoAttachmentSheets {
        attachments: page.view.photos
    }

    AlertBox { alert: page.view.alert }

    DiscardDialog { guard: page.view.discardGuard }
    DraftDialog { draft: page.view.draft }

    LoadingOverlay {
        readonly property QtObject progress: page.view.filing.progress
        text: progress.step !== "" ? progress.step : "Loading..."
        detail: progress.amount
        value: progress.fraction
        actionText: "转入待上传"
        actionShown: page.view.filing.canMoveToOutbox
        onActionTriggered: page.view.filing.moveToOutbox()
        shown: page.view.isLoading
    }
}
