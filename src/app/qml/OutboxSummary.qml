import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// What the service has not confirmed yet, and why nothing goes; the outbox
// sends by itself while the sign-in holds. On home it offers the list.
ColumnLayout {
    id: summary
    required property OutboxView outbox
    property bool offersList: false
    signal openList

    RowLayout {
        objectName: "outboxRow"
        Layout.fillWidth: true
        visible: summary.outbox.count > 0 || summary.outbox.signInEnded
        Label {
            Layout.fillWidth: true
            text: summary.outbox.summary
            color: Theme.text
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        Button {
            objectName: "outboxRetry"
            visible: !summary.outbox.signInEnded
            text: "重试"
            Accessible.name: text
            onClicked: summary.outbox.retry()
        }
        Button {
            objectName: "signInAgain"
            visible: summary.outbox.signInEnded
            text: "重新登录"
            Accessible.name: text
            onClicked: summary.outbox.signInAgain()
        }
        Button {
            objectName: "openOutbox"
            visible: summary.offersList && summary.outbox.count > 0
            text: "查看"
            Accessible.name: text
            onClicked: summary.openList()
        }
    }
    Label {
        objectName: "outboxProblem"
        Layout.fillWidth: true
        visible: text !== ""
        text: summary.outbox.problem
        color: "red"
        wrapMode: Text.Wrap
        Accessible.name: text
    }
}
