import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// One check point of a task list: its name and a chevron; the whole row is
// the tap target.
ItemDelegate {
    id: row
    required property string project
    required property bool sheetKept
    // The list keeps sheets for use without a network, and says which it has.
    property bool tellsKept: false
    width: ListView.view ? ListView.view.width : implicitWidth
    implicitHeight: Theme.touchTarget + 8
    text: project
    Accessible.name: text

    contentItem: RowLayout {
        spacing: Theme.spacing
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            Label {
                Layout.fillWidth: true
                text: row.text
                color: Theme.text
                font.pixelSize: Theme.middleTitleSize
                elide: Text.ElideRight
            }
            Label {
                objectName: "sheetNotKept"
                Layout.fillWidth: true
                visible: row.tellsKept && !row.sheetKept
                text: "检查表未保存，无网络时无法打开"
                color: Theme.faintText
                elide: Text.ElideRight
                Accessible.name: text
                Accessible.description: row.text
            }
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
