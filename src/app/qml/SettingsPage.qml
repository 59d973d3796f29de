import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// Draws SettingsView: account, the two account screens, version, sign-out.
// The account screens are pushed by address, compiled when first opened.
Page {
    id: page
    required property SettingsView view
    required property StackView stack
    objectName: "SettingsView"
    background: Rectangle { color: Theme.background }

    component Row: ItemDelegate {
        id: row
        property string value
        property bool navigates: false
        Layout.fillWidth: true
        Layout.preferredHeight: Theme.touchTarget + 8
        Accessible.name: text
        contentItem: RowLayout {
            Label {
                Layout.fillWidth: true
                text: row.text
                color: row.enabled ? Theme.text : Theme.faintText
                font.pixelSize: Theme.middleTitleSize
            }
            Label {
                text: row.value
                color: Theme.faintText
                font.pixelSize: Theme.regularTitleSize
                Accessible.name: text
            }
            Image {
                visible: row.navigates
                source: Theme.icon("chevron")
                sourceSize: Qt.size(20, 20)
            }
        }
        background: Rectangle { color: row.down ? "#eeeeee" : "white" }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.topMargin: Theme.spacing
        spacing: Theme.spacing

        Row {
            text: "账号"
            value: page.view.accountText
            hoverEnabled: false
            focusPolicy: Qt.NoFocus
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 1
            Row {
                text: "修改密码"
                navigates: true
                enabled: page.view.accountRowsEnabled
                onClicked: page.view.openChangePassword()
            }
            Row {
                text: "绑定手机号码"
                navigates: true
                enabled: page.view.accountRowsEnabled
                onClicked: page.view.openBindPhone()
            }
        }
        Row {
            text: "当前版本"
            value: page.view.versionText
            focusPolicy: Qt.NoFocus
        }
        PrimaryButton {
            Layout.fillWidth: true
            Layout.leftMargin: Theme.spacing
            Layout.rightMargin: Theme.spacing
            text: "登出"
            onClicked: page.view.signOut()
        }
        Item { Layout.fillHeight: true }
    }

    Dialog {
        id: signOutQuestion
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: Math.min(parent ? parent.width - 48 : 320, 400)
        modal: true
        closePolicy: Popup.NoAutoClose
        visible: page.view.signOutQuestion !== ""
        Label {
            width: parent.width
            wrapMode: Text.Wrap
            text: page.view.signOutQuestion
            Accessible.name: text
        }
        footer: DialogButtonBox {
            objectName: "signOutChoices"
            Button {
                text: "取消"
                flat: true
                Accessible.name: text
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
            }
            Button {
                text: "登出"
                flat: true
                Accessible.name: text
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
            }
        }
        onAccepted: page.view.confirmSignOut()
        onRejected: page.view.keepSignedIn()
    }

    StackNavigation {
        stack: page.stack
        active: page.view.showChangePassword
        screen: "qrc:/Orvelle/Account/qml/ChangePasswordPage.qml"
        pageProperties: () => ({ view: page.view.changePasswordView })
        onClosed: page.view.showChangePassword = false
    }
    StackNavigation {
        stack: page.stack
        active: page.view.showBindPhone
        screen: "qrc:/Orvelle/Account/qml/BindPhonePage.qml"
        pageProperties: () => ({ view: page.view.bindPhoneView })
        onClosed: page.view.showBindPhone = false
    }
}
