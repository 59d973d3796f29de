import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Account

// Draws ChangePasswordView.
Page {
    id: page
    required property ChangePasswordView view
    objectName: "ChangePasswordView"
    title: "修改密码"
    background: Rectangle { color: Theme.background }

    component Field: NamedTextField {
        Layout.fillWidth: true
        Layout.preferredHeight: Theme.touchTarget
        font.pixelSize: Theme.middleTitleSize
        Accessible.name: placeholderText
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.spacing * 2
        spacing: Theme.spacing

        CodeRow {
            Layout.fillWidth: true
            countdown: page.view.countdown
            editable: false
            shownNumber: page.view.mobileText
            onRequestCode: page.view.requestCode()
        }
        Field {
            placeholderText: "请输入验证码"
            inputMethodHints: Qt.ImhDigitsOnly
            text: page.view.verificationCode
            onTextEdited: page.view.verificationCode = text
        }
        Field {
            placeholderText: "请输入密码"
            echoMode: TextInput.Password
            text: page.view.newpassword
            onTextEdited: page.view.newpassword = text
        }
        Field {
            placeholderText: "请重新输入密码"
            echoMode: TextInput.Password
            text: page.view.centerpassword
            onTextEdited: page.view.centerpassword = text
            onAccepted: page.view.change()
        }
        PrimaryButton {
            Layout.fillWidth: true
            text: "修改"
            onClicked: page.view.change()
        }
        Item { Layout.fillHeight: true }
    }

    AlertBox { alert: page.view.alert }
}
