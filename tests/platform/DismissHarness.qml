import QtQuick
import QtQuick.Controls
import Orvelle.Platform

// A form as the screens build it: the modifier under the content, and a list
// of items with their own text areas, which has its own modifier.
Item {
    DismissKeyboardOnTapModifier {
        anchors.fill: parent
        z: -1
    }
    Button {
        width: 300
        height: 48
        text: "上传"
        Accessible.name: text
        onClicked: forceActiveFocus()
    }
    ListView {
        id: list
        y: 60
        width: 300
        height: 500
        model: 2
        delegate: Column {
            required property int index
            width: ListView.view.width
            Label { text: "护栏 " + index; height: 48 }
            TextArea {
                width: parent.width
                placeholderText: "问题描述 " + index
                Accessible.name: placeholderText
            }
        }
        // As the sheet lays it: in the content, over the part in view.
        DismissKeyboardOnTapModifier {
            parent: list.contentItem
            x: list.contentX
            y: list.contentY
            width: list.width
            height: list.height
            z: -1
        }
    }
}
