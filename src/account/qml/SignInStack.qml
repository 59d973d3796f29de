import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Account

// The sign-in screen and what it pushes: the phone binding, the group web site
// and, after a binding, a fresh sign-in screen.
Page {
    id: root
    required property LoginView view
    objectName: "SignInStack"

    header: PageHeader {
        visible: stack.depth > 1 && stack.currentItem !== null
                 && !stack.currentItem.hidesNavigationBar
        title: stack.currentItem ? (stack.currentItem.title || "") : ""
        canGoBack: true
        onBack: backKeys.goBack()
    }

    StackView {
        id: stack
        anchors.fill: parent
        initialItem: LoginPage { view: root.view }
        Keys.onBackPressed: (event) => {
            event.accepted = stack.depth > 1
            if (event.accepted)
                backKeys.goBack()
        }
    }
    StackBackKeys {
        id: backKeys
        stack: stack
    }
}
