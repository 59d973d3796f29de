import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// The sign-in screen or the main tabs, whichever the root view holds. Each is
// loaded by address, so start-up compiles only the pages of the one shown.
// When the device folder must not be used, only why, and a way out.
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
    ColumnLayout {
        objectName: "storeRefusal"
        visible: root.view.refusal !== ""
        anchors.centerIn: parent
        width: parent.width - 2 * Theme.spacing
        spacing: Theme.spacing
        Label {
            Layout.fillWidth: true
            text: root.view.refusal
            font.pixelSize: Theme.bigTitleSize
            color: Theme.text
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        PrimaryButton {
            Layout.alignment: Qt.AlignHCenter
            text: "退出"
            onClicked: Qt.quit()
        }
    }
    AlertBox { alert: root.view.storeAlert }
}
