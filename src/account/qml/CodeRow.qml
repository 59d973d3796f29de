import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Account

// A phone number (typed or shown) with the red SMS code button beside it.
RowLayout {
    id: row
    required property CodeCountdown countdown
    property alias field: phone
    property bool editable: true
    property string shownNumber
    signal requestCode

    spacing: Theme.spacing
    TextField {
        id: phone
        visible: row.editable
        Layout.fillWidth: true
        Layout.preferredHeight: Theme.touchTarget
        placeholderText: "请输入您的手机号码"
        inputMethodHints: Qt.ImhDialableCharactersOnly
        font.pixelSize: Theme.middleTitleSize
        Accessible.name: placeholderText
    }
    Label {
        visible: !row.editable
        Layout.fillWidth: true
        text: row.shownNumber
        font.pixelSize: Theme.middleTitleSize
        color: Theme.text
        Accessible.name: text
    }
    Button {
        id: codeButton
        Layout.preferredHeight: Theme.touchTarget
        flat: true
        text: row.countdown.buttonText
        enabled: row.countdown.buttonEnabled
        Accessible.name: text
        contentItem: Label {
            text: codeButton.text
            color: codeButton.enabled ? Theme.accent : Theme.faintText
            font.pixelSize: Theme.regularTitleSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        onClicked: row.requestCode()
    }
}
