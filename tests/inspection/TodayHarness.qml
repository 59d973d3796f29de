import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Inspection

// The frame's content stack, with its title bar, and a task list at its root:
// "今日检查", or "现场检查" when `onSite`.
Page {
    id: root
    required property TaskListView view
    property bool onSite: false
    header: PageHeader {
        title: contentStack.currentItem ? (contentStack.currentItem.title || "") : ""
        canGoBack: contentStack.depth > 1
        onBack: contentStack.pop()
    }

    StackView {
        id: contentStack
        objectName: "stack"
        anchors.fill: parent
        initialItem: root.onSite ? onSitePage : todayPage
    }
    Component {
        id: todayPage
        InspectionListPage {
            view: root.view as InspectionListView
            stack: contentStack
        }
    }
    Component {
        id: onSitePage
        OnInspectionListPage {
            view: root.view as OnInspectionListView
            stack: contentStack
        }
    }
}
