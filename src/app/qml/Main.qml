import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.App

ApplicationWindow {
    id: window
    required property RootView rootView
    width: 420
    height: 800
    visible: true
    title: "Orvelle"
    color: Theme.background

    RootPage {
        anchors.fill: parent
        view: window.rootView
    }
}
