pragma Singleton
import QtQuick

// Colours and sizes shared by every page: readable at arm's length, touch
// targets of at least 48 px.
QtObject {
    readonly property color accent: "#d32f2f"
    readonly property color accentDark: "#a31515"
    readonly property color text: Qt.rgba(0.3, 0.3, 0.3, 1)
    readonly property color faintText: Qt.rgba(0.6, 0.6, 0.6, 1)
    readonly property color frame: "#bdbdbd"
    readonly property color background: "#f5f5f5"
    readonly property int touchTarget: 48
    readonly property int spacing: 16
    readonly property int bigTitleSize: 17
    readonly property int middleTitleSize: 16
    readonly property int regularTitleSize: 15
    readonly property int smallTextSize: 12

    function icon(name) {
        return "qrc:/Orvelle/Core/icons/" + name + ".svg"
    }
}
