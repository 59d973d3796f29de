import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Inspection

// The frame's content stack, with its title bar, and today's task list at its root.
Page {
    id: root
    required property InspectionListView view
    header: PageHeader {
        title: contentStack.currentItem ? (contentStack.currentItem.title || "") : ""
        canGoBack: contentStack.depth > 1
        onBack: contentStack.pop()
    }

    StackView {
        id: contentStack
        objectName: "stack"
        anchors.fill: parent
        initialItem: InspectionListPage {
            view: root.view
            stack: contentStack
        }
    }
}
