import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.App

// A content stack with one flag-driven page, as the home menu uses it.
StackView {
    id: stack
    required property HomeView view
    initialItem: Item { objectName: "Base" }

    StackNavigation {
        stack: stack
        active: stack.view.isinLogin
        screen: Component { Page { objectName: "Pushed"; title: "今日检查" } }
        onClosed: stack.view.isinLogin = false
    }
}
