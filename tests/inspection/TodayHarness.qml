import QtQuick
import QtQuick.Controls
import Orvelle.Inspection

// The frame's content stack with today's task list at its root.
Item {
    id: root
    required property InspectionListView view

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
