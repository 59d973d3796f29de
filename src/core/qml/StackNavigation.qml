import QtQuick
import QtQuick.Controls

// Turns a view's navigation flag into a page on the content stack: the page is
// pushed when `active` becomes true, and `closed` tells the view when the user
// has gone back, so the flag never stays set after it was acted on.
Item {
    id: link
    required property StackView stack
    property bool active: false
    property Component screen
    property var pageProperties: ({})
    signal closed

    property Item pushedPage: null
    property int pushedDepth: 0
    visible: false

    function update() {
        if (active && !pushedPage && screen) {
            pushedPage = stack.push(screen, pageProperties)
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
