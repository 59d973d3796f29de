import QtQuick
import QtQuick.Controls
import Orvelle.Core

// The frame's content stack with its title bar, its back key and Escape, as
// the main tabs have them, and one page pushed over an empty home: `page`
// with `pageProperties` (and the stack, `withStack`). Going back from it
// lowers `open`, as a screen's owner hears it; lowering `open` pops it.
Page {
    id: root
    required property url page
    property var pageProperties: ({})
    property bool withStack: false
    // Raised once the stack has its home page, so the page goes over it.
    property bool open: false
    Component.onCompleted: open = true

    header: PageHeader {
        title: contentStack.currentItem ? (contentStack.currentItem.title || "") : ""
        canGoBack: contentStack.depth > 1
                   && !(contentStack.currentItem && contentStack.currentItem.hidesPlatformBack)
        onBack: backKeys.goBack()
    }

    StackView {
        id: contentStack
        objectName: "stack"
        anchors.fill: parent
        initialItem: Item { objectName: "home" }
    }
    StackBackKeys {
        id: backKeys
        stack: contentStack
    }
    StackNavigation {
        stack: contentStack
        active: root.open
        screen: root.page
        pageProperties: () => Object.assign({}, root.pageProperties,
                                            root.withStack ? { stack: contentStack } : {})
        onClosed: root.open = false
    }
}
