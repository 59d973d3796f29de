import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.App

// The sign-in screen or the main tabs, whichever the root view holds. Each is
// loaded by address, so start-up compiles only the pages of the one shown.
Item {
    id: root
    required property RootView view
    objectName: "RootView"

    component ScreenLoader: Loader {
        required property QtObject screenView
        required property url page
        property QtObject shownView: null
        anchors.fill: parent
        function show() {
            if (screenView === shownView)
                return
            shownView = screenView
            if (screenView)
                setSource(page, { view: screenView })
            else
                source = ""
        }
        onScreenViewChanged: show()
        Component.onCompleted: show()
    }

    ScreenLoader {
        screenView: root.view.loginView
        page: "qrc:/Orvelle/Account/qml/SignInStack.qml"
    }
    ScreenLoader {
        screenView: root.view.contentView
        page: "qrc:/Orvelle/App/qml/ContentPage.qml"
    }
    AlertBox { alert: root.view.storeAlert }
}
