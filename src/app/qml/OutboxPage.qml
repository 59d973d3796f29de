import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// Draws OutboxView: every entry not yet confirmed, with what may be done to it.
Page {
    id: page
    required property OutboxView view
    objectName: "OutboxView"
    title: "待上传"
    background: Rectangle { color: Theme.background }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.spacing
        spacing: Theme.spacing

        OutboxSummary {
            Layout.fillWidth: true
            outbox: page.view
        }
        ListView {
            objectName: "outboxEntries"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: page.view.entries
            delegate: OutboxEntryRow {
                width: ListView.view.width
                outbox: page.view
            }
        }
    }

    AlertBox { alert: page.view.alert }
    // Asked before an action that loses something.
    Dialog {
        objectName: "outboxQuestion"
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 48 : 320, 400)
        modal: true
        closePolicy: Popup.NoAutoClose
        visible: page.view.question !== ""
        Label {
            width: parent.width
            wrapMode: Text.Wrap
            text: page.view.question
            Accessible.name: text
        }
        footer: DialogButtonBox {
            Button {
                text: "取消"
                flat: true
                Accessible.name: text
                onClicked: page.view.answer(false)
            }
            Button {
                text: "确定"
                flat: true
                Accessible.name: text
                onClicked: page.view.answer(true)
            }
        }
    }
}
