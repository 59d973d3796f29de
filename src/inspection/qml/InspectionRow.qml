import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// One check point of a task list: its name and a chevron; the whole row is
// the tap target.
ItemDelegate {
    id: row
    required property string project
    width: ListView.view ? ListView.view.width : implicitWidth
    implicitHeight: Theme.touchTarget + 8
    text: project
    Accessible.name: text

    contentItem: RowLayout {
        spacing: Theme.spacing
        Label {
            Layout.fillWidth: true
            text: row.text
            color: Theme.text
            font.pixelSize: Theme.middleTitleSize
            elide: Text.ElideRight
        }
        Image {
            source: Theme.icon("chevron")
            sourceSize: Qt.size(20, 20)
            Accessible.ignored: true
        }
    }
    background: Rectangle {
        color: row.down ? "#eeeeee" : "white"
        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width
            height: 1
            color: Theme.background
        }
    }
}
