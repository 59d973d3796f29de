pragma Singleton
import QtQuick

// The five text styles, in logical pixels (Qt scales them for the screen's
// density): the system font at the given size, no explicit weight.
QtObject {
    readonly property font bigTitleRed: Qt.font({ pixelSize: 17 })
    readonly property color bigTitleRedColor: Qt.rgba(1.0, 0.0, 0.0, 1)
    readonly property font bigTitle: Qt.font({ pixelSize: 17 })
    readonly property color bigTitleColor: Qt.rgba(0.3, 0.3, 0.3, 1)
    readonly property font middleTitle: Qt.font({ pixelSize: 16 })
    readonly property color middleTitleColor: Qt.rgba(0.3, 0.3, 0.3, 1)
    readonly property font regularTitle: Qt.font({ pixelSize: 15 })
    readonly property color regularTitleColor: Qt.rgba(0.3, 0.3, 0.3, 1)
    readonly property font smallText: Qt.font({ pixelSize: 12 })
    readonly property color smallTextColor: Qt.rgba(0.6, 0.6, 0.6, 1)
}
