import QtQuick
import QtQuick.Controls
import Orvelle.Platform

// A form as the screens build it: the modifier under the content.
Item {
    DismissKeyboardOnTapModifier {
        objectName: "background"
        anchors.fill: parent
    }
    TextField {
        y: 100
        width: 300
        height: 48
        placeholderText: "问题描述"
        Accessible.name: placeholderText
    }
    Button {
        y: 200
        width: 300
        height: 48
        text: "上传"
        Accessible.name: text
        onClicked: forceActiveFocus()
    }
}
