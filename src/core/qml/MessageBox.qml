import QtQuick

// The message box every screen uses: "提示" with one "确定". The page opens it
// while its view's flag is set; `acknowledged` tells the view it was closed.
// The dialog is loaded the first time it opens (and kept, so it closes as it
// always did): most screens never show one, and making it slows start-up.
Item {
    id: box
    property string message
    // Bound to the view's flag; the box opens and closes with it.
    property bool shown: false
    property string title: "提示"
    property string buttonText: "确定"
    signal acknowledged

    objectName: "MessageBox"
    visible: false

    function load() {
        if (shown && loader.status === Loader.Null)
            loader.setSource("MessageDialog.qml", { box: box })
    }
    onShownChanged: load()
    Component.onCompleted: load()

    Loader { id: loader }
}
