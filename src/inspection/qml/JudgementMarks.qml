import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// The two marks "合格" and "不合格": blue with white text when highlighted,
// light gray with black text otherwise. Pressable only on the sheet. A screen
// reader hears which item each mark judges, and whether it is the chosen one.
RowLayout {
    id: marks
    property string itemTitle
    property bool qualified: false
    property bool unqualified: false
    property bool pressable: false
    signal qualifyPressed
    signal disqualifyPressed
    spacing: Theme.spacing

    component Mark: Button {
        id: mark
        property bool highlighted_: false
        enabled: marks.pressable
        padding: 5
        Accessible.name: text
        Accessible.description: marks.itemTitle
        Accessible.checkable: true
        Accessible.checked: highlighted_
        contentItem: Label {
            text: mark.text
            color: mark.highlighted_ ? "white" : "black"
            font.pixelSize: Theme.regularTitleSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            radius: 5
            implicitWidth: 64
            implicitHeight: 36
            color: mark.highlighted_ ? "#007aff" : Qt.rgba(0.5, 0.5, 0.5, 0.2)
        }
    }

    Mark {
        text: "合格"
        highlighted_: marks.qualified
        onClicked: marks.qualifyPressed()
    }
    Mark {
        text: "不合格"
        highlighted_: marks.unqualified
        onClicked: marks.disqualifyPressed()
    }
    Item { Layout.fillWidth: true }
}
