import QtQuick
import QtQuick.Controls

// Going back on a stack of pages, as the back button, the phone's back key
// and a desktop's Escape (wherever the focus is) all do it. A page that
// guards what the user entered, or runs a submission, decides itself whether
// going back leaves it: it offers goBack(). An open box or sheet keeps its
// own Escape; a page that only waits for an answer never holds one open.
Item {
    id: keys
    required property StackView stack
    visible: false

    function goBack() {
        const current = keys.stack.currentItem
        if (current && typeof current.goBack === "function")
            current.goBack()
        else
            keys.stack.pop()
    }

    Shortcut {
        sequence: "Esc"
        enabled: keys.stack.depth > 1 && keys.Overlay.overlay !== null
                 && keys.Overlay.overlay.children.length === 0
        onActivated: keys.goBack()
    }
}
