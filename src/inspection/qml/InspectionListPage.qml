import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Inspection

// Draws InspectionListView ("今日检查"); a check point opens its records.
Page {
    id: page
    required property InspectionListView view
    required property StackView stack
    objectName: "InspectionListView"
    title: page.view.title
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    TaskList {
        anchors.fill: parent
        view: page.view
        stack: page.stack
    }

    StackNavigation {
        stack: page.stack
        active: page.view.navigateToDetail
        screen: Component {
            InspectionItemDetailPage {
                view: page.view.detailView
                stack: page.stack
            }
        }
        onClosed: page.view.navigateToDetail = false
    }
}
