import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Photos
import Orvelle.Inspection

// Draws OnInspectionListView ("现场检查"): a check point first asks for the
// on-site photo, then opens its sheet.
Page {
    id: page
    required property OnInspectionListView view
    required property StackView stack
    objectName: "OnInspectionListView"
    title: page.view.title
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    TaskList {
        anchors.fill: parent
        view: page.view
        stack: page.stack
    }

    Popup {
        id: cameraSheet
        parent: Overlay.overlay
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        // Only the picker's own buttons close it.
        closePolicy: Popup.NoAutoClose
        visible: page.view.showCameraPicker
        contentItem: Loader {
            active: page.view.showCameraPicker && page.view.cameraPicker !== null
            sourceComponent: CameraPickerPage { view: page.view.cameraPicker }
        }
    }

    StackNavigation {
        stack: page.stack
        active: page.view.navigateToDetail
        screen: Component {
            DetailedOnspectionListPage { view: page.view.detailView }
        }
        onClosed: page.view.navigateToDetail = false
    }
}
