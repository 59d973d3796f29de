import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Account

// Draws LoginView; every rule lives in the view.
Page {
    id: page
    required property LoginView view
    objectName: "LoginView"
    // A sign-in screen pushed after a phone binding has no bar to go back with.
    readonly property bool hidesNavigationBar: true

    // Every time it is shown, back from the binding or the web site too.
    StackView.onActivated: page.view.appeared()

    background: Rectangle { color: Theme.background }

    Flickable {
        anchors.fill: parent
        contentHeight: column.implicitHeight + 2 * Theme.spacing
        // A tap outside the fields ends editing.
        TapHandler { onTapped: page.forceActiveFocus() }

        ColumnLayout {
            id: column
            x: Theme.spacing * 2
            y: Theme.spacing * 2
            width: Math.min(page.width - 4 * Theme.spacing, 480)
            spacing: Theme.spacing

            Image {
                Layout.alignment: Qt.AlignHCenter
                Layout.topMargin: Theme.spacing
                source: Theme.icon("logo")
                sourceSize: Qt.size(112, 112)
                Accessible.role: Accessible.Graphic
                Accessible.name: "logo"
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                text: "岚石中国"
                font.pixelSize: 28
                font.bold: true
                color: Theme.accent
                Accessible.name: text
            }
            LabeledField {
                id: phoneField
                Layout.fillWidth: true
                caption: "手机号"
                placeholder: "请输入手机号"
                text: page.view.phoneNumber
                inputMethodHints: Qt.ImhNoPredictiveText
                input.onTextEdited: page.view.phoneNumber = input.text
                input.onActiveFocusChanged: if (input.activeFocus) page.view.focusedField = LoginView.PhoneNumber
                onAccepted: passwordField.input.forceActiveFocus()
            }
            LabeledField {
                id: passwordField
                Layout.fillWidth: true
                caption: "密码"
                placeholder: "请输入密码"
                echoMode: TextInput.Password
                text: page.view.password
                input.onTextEdited: page.view.password = input.text
                input.onActiveFocusChanged: if (input.activeFocus) page.view.focusedField = LoginView.Password
                onAccepted: page.view.signIn()
            }
            // A tap or Enter while it works sends nothing more (the view's rule).
            PrimaryButton {
                Layout.fillWidth: true
                text: "登入"
                busy: page.view.signingIn
                busyDescription: "正在登入"
                onClicked: page.view.signIn()
            }
            Button {
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredHeight: Theme.touchTarget
                text: "忘记密码"
                flat: true
                Accessible.name: text
                onClicked: page.view.forgotPassword()
            }
            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 4
                Button {
                    Layout.preferredHeight: Theme.touchTarget
                    text: "岚石集团官网"
                    flat: true
                    Accessible.name: text
                    onClicked: page.view.openWebSite()
                }
                Label { text: "|"; color: Theme.faintText }
                Button {
                    id: guestButton
                    Layout.preferredHeight: Theme.touchTarget
                    text: "游客访问"
                    flat: true
                    Accessible.name: text
                    contentItem: Label {
                        text: guestButton.text
                        color: Theme.accent
                        font.pixelSize: Theme.regularTitleSize
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    onClicked: page.view.enterGuestMode()
                }
            }
            Label {
                Layout.fillWidth: true
                visible: text !== ""
                text: page.view.waitingWorkText
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                color: Theme.faintText
                Accessible.name: text
            }
        }
    }

    StackNavigation {
        stack: page.StackView.view
        active: page.view.shouldNavigatemobile
        screen: "qrc:/Orvelle/Account/qml/BindPhonePage.qml"
        pageProperties: () => ({ view: page.view.bindPhoneView })
        onClosed: page.view.shouldNavigatemobile = false
    }
    StackNavigation {
        stack: page.StackView.view
        active: page.view.showWebView
        // The web engine is loaded by address, only when the site is opened.
        screen: Component {
            Loader {
                property string title: "岚石集团官网"
                Component.onCompleted: setSource("qrc:/Orvelle/Platform/qml/WebPageFrame.qml",
                                                 { view: page.view.webView })
            }
        }
        onClosed: page.view.showWebView = false
    }

    AlertBox { alert: page.view.alert }

    Toast { manager: page.view.toastManager }

    UpdateAlert { checker: page.view.versionChecker }
}
