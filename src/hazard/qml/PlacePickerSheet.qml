import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Hazard

// Draws the open PlacePickerView as a bottom sheet: "取消" and "完成" above a
// wheel-like list that starts at the current value. Swiping it away (a tap
// outside) changes nothing.
Popup {
    id: sheet
    property PlacePickerView picker: null
    signal dismissed

    parent: Overlay.overlay
    x: 0
    width: parent ? parent.width : 0
    height: parent ? parent.height * (sheet.picker && sheet.picker.filterable ? 0.5 : 0.3) : 0
    y: parent ? parent.height - height : 0
    modal: true
    padding: 0
    visible: sheet.picker !== null
    closePolicy: Popup.CloseOnPressOutside | Popup.CloseOnEscape
    onClosed: if (sheet.picker) sheet.dismissed()
    background: Rectangle { color: "white" }
    // The sheet is kept between openings: a new picker starts with its own
    // (empty) filter, not the text typed into the last one.
    onPickerChanged: filterField.text = sheet.picker ? sheet.picker.filterText : ""

    contentItem: ColumnLayout {
        spacing: 0
        RowLayout {
            Layout.fillWidth: true
            Button {
                flat: true
                text: "取消"
                Accessible.name: text
                onClicked: sheet.picker.cancel()
            }
            Label {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: sheet.picker ? sheet.picker.title : ""
                color: Theme.text
                font.pixelSize: Theme.middleTitleSize
                Accessible.name: text
            }
            Button {
                flat: true
                text: "完成"
                Accessible.name: text
                onClicked: sheet.picker.done()
            }
        }
        TextField {
            id: filterField
            objectName: "pickerFilter"
            Layout.fillWidth: true
            Layout.leftMargin: Theme.spacing
            Layout.rightMargin: Theme.spacing
            visible: sheet.picker !== null && sheet.picker.filterable
            placeholderText: "输入文字筛选"
            Accessible.name: placeholderText
            onTextChanged: if (sheet.picker) sheet.picker.filterText = text
        }
        ListView {
            id: wheel
            objectName: "pickerChoices"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: sheet.picker ? sheet.picker.placeOptions : null
            currentIndex: sheet.picker ? sheet.picker.wheelRow : -1
            highlightMoveDuration: 0
            preferredHighlightBegin: height / 2 - 24
            preferredHighlightEnd: height / 2 + 24
            highlightRangeMode: ListView.ApplyRange
            highlight: Rectangle { color: Theme.background }
            // The row's text is the model's "display", which a button has
            // as its own property: the button sits inside the delegate.
            delegate: Item {
                id: choice
                required property string display
                required property int index
                width: ListView.view.width
                height: 48
                ItemDelegate {
                    anchors.fill: parent
                    text: choice.display
                    Accessible.name: text
                    font.pixelSize: Theme.middleTitleSize
                    font.bold: choice.ListView.isCurrentItem
                    onClicked: sheet.picker.turn(choice.index)
                }
            }
        }
    }
}
