import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A load that failed: why, in red, and the button that loads again.
ColumnLayout {
    id: block
    property alias message: reason.text
    property alias retryText: retry.text
    signal retry

    Layout.fillWidth: true
    Layout.margins: Theme.spacing
    spacing: Theme.spacing
    Label {
        id: reason
        Layout.fillWidth: true
        color: "red"
        font.pixelSize: Theme.bigTitleSize
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        Accessible.name: text
    }
    PrimaryButton {
        id: retry
        Layout.alignment: Qt.AlignHCenter
        onClicked: block.retry()
    }
}
