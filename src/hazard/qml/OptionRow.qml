import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core

// One labelled row of the form, drawn from a HazardChoiceRows row: the chosen
// value in blue, else the placeholder in gray, and the red plus that runs the
// row's action. The whole row takes the tap, which suits gloved fingers.
// While its choices load from the service it says so, in the row alone.
AbstractButton {
    id: row
    required property string title
    required property string placeholder
    required property string detail
    required property bool chosen
    required property bool loading

    implicitHeight: Math.max(44, Theme.touchTarget)
    Accessible.role: Accessible.Button
    Accessible.name: title
    background: Rectangle { color: row.down ? Theme.background : "white" }

    contentItem: RowLayout {
        spacing: Theme.spacing / 2
        Label {
            leftPadding: Theme.spacing / 2
            text: row.title
            color: Theme.text
            font.pixelSize: Theme.regularTitleSize
        }
        Label {
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignRight
            elide: Text.ElideLeft
            text: row.loading ? "正在加载…" : row.chosen ? row.detail : row.placeholder
            color: row.chosen && !row.loading ? "blue" : "gray"
            font.pixelSize: Theme.regularTitleSize
            Accessible.name: text
        }
        BusyIndicator {
            Layout.preferredWidth: 30
            Layout.preferredHeight: 30
            visible: row.loading
            running: visible
        }
        Image {
            Layout.preferredWidth: 30
            Layout.preferredHeight: 30
            visible: !row.loading
            source: Theme.icon("plus")
            sourceSize: Qt.size(60, 60)
        }
    }
}
