import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// A caption above a text field whose frame turns red while it has the focus.
ColumnLayout {
    id: field
    property string caption
    property alias placeholder: input.placeholderText
    property alias text: input.text
    // Plain properties, not aliases: an enum value given to an alias is looked
    // up by name when the page is made, and the first lookup of Qt's names
    // costs the sign-in screen milliseconds.
    property int echoMode: TextInput.Normal
    property int inputMethodHints: Qt.ImhNone
    property alias input: input
    signal accepted

    spacing: 6
    Label {
        text: field.caption
        color: Theme.text
        font.pixelSize: Theme.middleTitleSize
        // The field itself carries the caption as its name.
        Accessible.ignored: true
    }
    NamedTextField {
        id: input
        Layout.fillWidth: true
        Layout.preferredHeight: Theme.touchTarget
        font.pixelSize: Theme.middleTitleSize
        echoMode: field.echoMode
        inputMethodHints: field.inputMethodHints
        leftPadding: 12
        Accessible.name: field.caption
        onAccepted: field.accepted()
        background: Rectangle {
            radius: 6
            color: "white"
            border.width: input.activeFocus ? 2 : 1
            border.color: input.activeFocus ? Theme.accent : Theme.frame
        }
    }
}
