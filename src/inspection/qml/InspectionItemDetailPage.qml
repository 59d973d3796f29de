import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Inspection

// Draws InspectionItemDetailView: today's submitted sheets of a check point,
// or in their place the wait, the word that there are none, or the error.
Page {
    id: page
    required property InspectionItemDetailView view
    required property StackView stack
    readonly property bool shown: page.view.listState === ListState.Ready
                                  || page.view.listState === ListState.Empty
    objectName: "InspectionItemDetailView"
    title: page.view.title
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0
        ListStatus {
            loading: page.view.listState === ListState.Loading
            loadingText: "正在加载检查记录…"
            empty: page.view.listState === ListState.Empty
            emptyText: "今天还没有提交的检查表"
            failed: page.view.listState === ListState.Failed
            errorMessage: page.view.errorMessage
            // A reload over rows already shown: they stay.
            refreshing: page.shown && page.view.isLoading
            onRetry: page.view.appeared()
        }

        ListView {
            id: rows
            objectName: "checkitems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: page.shown
            clip: true
            spacing: 1
            model: page.view.checkitems
            delegate: ItemDelegate {
                id: sheetRow
                required property int index
                required property string checkname
                required property string checkdate
                required property string checkpeople
                width: ListView.view.width
                text: checkname
                Accessible.name: text
                onClicked: page.view.pick(index)
                contentItem: ColumnLayout {
                    spacing: 6
                    Label {
                        Layout.fillWidth: true
                        text: sheetRow.checkname
                        color: Theme.text
                        font.pixelSize: Theme.middleTitleSize
                        wrapMode: Text.Wrap
                    }
                    RowLayout {
                        spacing: Theme.spacing
                        Label {
                            text: sheetRow.checkdate
                            color: Theme.faintText
                            font.pixelSize: Theme.smallTextSize
                            Accessible.name: text
                        }
                        Label {
                            text: sheetRow.checkpeople
                            color: Theme.faintText
                            font.pixelSize: Theme.smallTextSize
                            Accessible.name: text
                        }
                        Item { Layout.fillWidth: true }
                    }
                }
                background: Rectangle { color: sheetRow.down ? "#eeeeee" : "white" }
            }
            onDragEnded: if (contentY < originY - 80) page.view.appeared()
        }
        Item {
            Layout.fillHeight: true
            visible: !rows.visible
        }
    }

    StackNavigation {
        stack: page.stack
        active: page.view.navigateToDetail
        screen: Component { DetailedInspectionListPage { view: page.view.detailView } }
        onClosed: page.view.navigateToDetail = false
    }
}
