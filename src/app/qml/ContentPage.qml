import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Account
import Orvelle.App

// The main tabs inside one navigation stack; working screens are pushed onto it.
Page {
    id: page
    required property ContentView view
    objectName: "ContentView"

    Component.onCompleted: page.view.appeared()

    header: PageHeader {
        // A page leaving the stack may have no title any more.
        title: stack.depth > 1 && stack.currentItem ? (stack.currentItem.title || "") : page.view.title
        canGoBack: stack.depth > 1 && !(stack.currentItem && stack.currentItem.hidesPlatformBack)
        onBack: backKeys.goBack()
    }

    StackView {
        id: stack
        anchors.fill: parent
        initialItem: StackLayout {
            currentIndex: page.view.selectedTab
            HomePage {
                view: page.view.homeView
                stack: stack
            }
            SettingsPage {
                view: page.view.settingsView
                stack: stack
            }
        }
        Keys.onBackPressed: (event) => {
            event.accepted = stack.depth > 1
            if (event.accepted)
                backKeys.goBack()
        }
    }

    // The back key and Escape; a page that only waits for an answer never
    // holds them.
    StackBackKeys {
        id: backKeys
        stack: stack
    }

    footer: TabBar {
        visible: stack.depth === 1
        currentIndex: page.view.selectedTab
        onCurrentIndexChanged: page.view.selectedTab = currentIndex
        TabButton {
            text: "首页"
            icon.source: Theme.icon("house")
            icon.color: checked ? Theme.accent : Theme.faintText
            height: 56
            display: AbstractButton.TextUnderIcon
            Accessible.name: text
        }
        TabButton {
            text: "设置"
            icon.source: Theme.icon("gear")
            icon.color: checked ? Theme.accent : Theme.faintText
            height: 56
            display: AbstractButton.TextUnderIcon
            Accessible.name: text
        }
    }

    UpdateAlert { checker: page.view.versionChecker }
}
