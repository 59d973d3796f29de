import QtQuick
import QtQuick.Controls

// Turns a view's navigation flag into a page on the content stack: the page is
// pushed when `active` becomes true, and `closed` tells the view when the user
// has gone back, so the flag never stays set after it was acted on.
Item {
    id: link
    required property StackView stack
    property bool active: false
    // A Component, or the address of a page file loaded only when pushed.
    property var screen
    // An object, or a function giving it when the page is pushed (so it
    // reads the view's state of that moment).
    property var pageProperties: ({})
    signal closed

    property Item pushedPage: null
    property int pushedDepth: 0
    visible: false

    function update() {
        if (active && !pushedPage && screen) {
            const properties = typeof pageProperties === "function" ? pageProperties()
                                                                    : pageProperties
            pushedPage = stack.push(screen, properties)
            pushedDepth = stack.depth
        } else if (!active && pushedPage && stack.depth >= pushedDepth) {
            // The view withdrew the page itself (for example after a submission).
            stack.pop(stack.get(pushedDepth - 2))
        }
    }
    onActiveChanged: update()
    Component.onCompleted: update()

    Connections {
        target: link.stack
        function onDepthChanged() {
            if (link.pushedPage && link.stack.depth < link.pushedDepth) {
                link.pushedPage = null
                if (link.active)
                    link.closed()
            }
        }
    }
}
