import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Account

// Draws BindPhoneView.
Page {
    id: page
    required property BindPhoneView view
    objectName: "BindPhoneView"
    title: "创建新账号"
    background: Rectangle { color: Theme.background }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.spacing * 2
        spacing: Theme.spacing

        CodeRow {
            Layout.fillWidth: true
            countdown: page.view.countdown
            field.text: page.view.phoneNumber
            field.onTextEdited: page.view.phoneNumber = field.text
            onRequestCode: page.view.requestCode()
        }
        TextField {
            Layout.fillWidth: true
            Layout.preferredHeight: Theme.touchTarget
            placeholderText: "请输入验证码"
            inputMethodHints: Qt.ImhDigitsOnly
            font.pixelSize: Theme.middleTitleSize
            text: page.view.verificationCode
            onTextEdited: page.view.verificationCode = text
            Accessible.name: placeholderText
            onAccepted: page.view.bind()
        }
        PrimaryButton {
            Layout.fillWidth: true
            text: "绑定手机号"
            onClicked: page.view.bind()
        }
        Item { Layout.fillHeight: true }
    }

    AlertBox { alert: page.view.alert }

    StackNavigation {
        stack: page.StackView.view
        active: page.view.shouldlogin && page.view.loginView !== null
        // By address: the sign-in page itself pushes this page.
        screen: "qrc:/Orvelle/Account/qml/LoginPage.qml"
        pageProperties: () => ({ view: page.view.loginView })
        onClosed: page.view.shouldlogin = false
    }
}
