import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Account
import Orvelle.App

// The sign-in screen or the main tabs, whichever the root view holds.
Item {
    id: root
    required property RootView view
    objectName: "RootView"

    Loader {
        anchors.fill: parent
        active: root.view.loginView !== null
        sourceComponent: SignInStack { view: root.view.loginView }
    }
    Loader {
        anchors.fill: parent
        active: root.view.contentView !== null
        sourceComponent: ContentPage { view: root.view.contentView }
    }
    MessageBox {
        message: root.view.storeAlertMessage
        shown: root.view.showStoreAlert
        onAcknowledged: root.view.acknowledgeStoreAlert()
    }
}
