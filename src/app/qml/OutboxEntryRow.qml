import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// One entry of the outbox: what it is, when it was filed, where it stands,
// and the actions it takes now.
RowLayout {
    id: row
    required property OutboxView outbox
    required property int entryId
    required property string title
    required property string time
    required property string stateText
    required property bool canResend
    required property bool canConfirm
    required property bool canEdit
    required property bool canRemove
    height: Math.max(Theme.touchTarget, implicitHeight)

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 0
        Label {
            Layout.fillWidth: true
            text: row.title
            color: Theme.text
            elide: Text.ElideRight
            Accessible.name: text
        }
        RowLayout {
            Layout.fillWidth: true
            Label {
                text: row.time
                color: Theme.faintText
                font.pixelSize: Theme.smallTextSize
                Accessible.name: text
            }
            Label {
                Layout.fillWidth: true
                text: row.stateText
                color: Theme.faintText
                font.pixelSize: Theme.smallTextSize
                elide: Text.ElideRight
                Accessible.name: text
            }
        }
    }
    Button {
        visible: row.canResend
        text: "再次提交"
        Accessible.name: text
        Accessible.description: row.title
        onClicked: row.outbox.resend(row.entryId)
    }
    Button {
        visible: row.canConfirm
        text: "已提交"
        Accessible.name: text
        Accessible.description: row.title
        onClicked: row.outbox.confirmDelivered(row.entryId)
    }
    Button {
        visible: row.canEdit
        text: "编辑"
        Accessible.name: text
        Accessible.description: row.title
        onClicked: row.outbox.edit(row.entryId)
    }
    Button {
        visible: row.canRemove
        text: "删除"
        Accessible.name: text
        Accessible.description: row.title
        onClicked: row.outbox.remove(row.entryId)
    }
}
