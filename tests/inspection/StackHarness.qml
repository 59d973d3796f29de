import QtQuick
import QtQuick.Controls
import Orvelle.Inspection

// The frame's content stack with the on-site task list at its root, as the
// home menu pushes it. The root page belongs to this file, not the stack.
Item {
    id: root
    required property OnInspectionListView view

    StackView {
        id: contentStack
        objectName: "stack"
        anchors.fill: parent
        initialItem: OnInspectionListPage {
            view: root.view
            stack: contentStack
        }
    }
}
