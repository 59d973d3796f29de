import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// Draws HomeView: the welcome line and the four tiles. The pages they open are
// pushed by address, so start-up does not compile them (nor load the camera).
Page {
    id: page
    required property HomeView view
    required property StackView stack
    objectName: "HomeView"
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()
    // Back from a pushed page or the other tab.
    onVisibleChanged: if (visible) page.view.appeared()

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: Theme.spacing
        spacing: Theme.spacing

        Label {
            Layout.fillWidth: true
            text: page.view.welcomeText
            color: Theme.text
            font.pixelSize: Theme.bigTitleSize
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        GridLayout {
            Layout.fillWidth: true
            columns: 2
            rowSpacing: Theme.spacing
            columnSpacing: Theme.spacing
            FeatureTile {
                text: "今日检查"
                iconName: "inspection"
                onClicked: page.view.openTodayChecks()
            }
            FeatureTile {
                text: "现场检查"
                iconName: "inspection"
                onClicked: page.view.openOnSiteCheck()
            }
            FeatureTile {
                text: "隐患登记"
                iconName: "warning"
                onClicked: page.view.openHazardReport()
            }
            FeatureTile {
                text: "信息公告"
                iconName: "speaker"
                onClicked: page.view.openNotice()
            }
        }
        // What the service has not confirmed yet; the outbox sends it by
        // itself while the sign-in holds.
        RowLayout {
            objectName: "outboxRow"
            Layout.fillWidth: true
            visible: page.view.outboxCount > 0 || page.view.signInEnded
            Label {
                Layout.fillWidth: true
                text: page.view.signInEnded
                      ? "登录已失效，重新登录后上传" + (page.view.outboxCount > 0
                                                 ? "（待上传 " + page.view.outboxCount + "）" : "")
                      : "待上传 " + page.view.outboxCount
                color: Theme.text
                wrapMode: Text.Wrap
                Accessible.name: text
            }
            Button {
                objectName: "outboxRetry"
                visible: !page.view.signInEnded
                text: "重试"
                onClicked: page.view.retryOutbox()
            }
            Button {
                objectName: "signInAgain"
                visible: page.view.signInEnded
                text: "重新登录"
                onClicked: page.view.signInAgain()
            }
        }
        Label {
            objectName: "outboxProblem"
            Layout.fillWidth: true
            visible: text !== ""
            text: page.view.outboxProblem
            color: "red"
            wrapMode: Text.Wrap
            Accessible.name: text
        }
        ListView {
            objectName: "outboxEntries"
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(contentHeight, 3 * Theme.touchTarget)
            visible: page.view.outboxCount > 0
            clip: true
            model: page.view.outboxEntries
            delegate: RowLayout {
                required property var model
                width: ListView.view.width
                height: Math.max(Theme.touchTarget, implicitHeight)
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 0
                    Label {
                        Layout.fillWidth: true
                        text: model.title
                        color: Theme.text
                        elide: Text.ElideRight
                        Accessible.name: text
                    }
                    Label {
                        Layout.fillWidth: true
                        text: model.time + "  " + model.state
                        color: Theme.faintText
                        font.pixelSize: Theme.smallTextSize
                        elide: Text.ElideRight
                        Accessible.name: text
                    }
                }
                Button {
                    visible: model.canResend
                    text: "再次提交"
                    Accessible.description: model.title
                    onClicked: page.view.resendOutboxEntry(model.entryId)
                }
                Button {
                    visible: model.canConfirm
                    text: "已提交"
                    Accessible.description: model.title
                    onClicked: page.view.confirmOutboxEntryDelivered(model.entryId)
                }
                Button {
                    visible: model.canEdit
                    text: "编辑"
                    Accessible.description: model.title
                    onClicked: page.view.editOutboxEntry(model.entryId)
                }
                Button {
                    visible: model.canRemove
                    text: "删除"
                    Accessible.description: model.title
                    onClicked: page.view.removeOutboxEntry(model.entryId)
                }
            }
        }
        Item { Layout.fillHeight: true }
    }

    StackNavigation {
        stack: page.stack
        active: page.view.isinLogin
        screen: "qrc:/Orvelle/Inspection/qml/InspectionListPage.qml"
        pageProperties: () => ({ view: page.view.todayChecks, stack: page.stack })
        onClosed: page.view.isinLogin = false
    }
    StackNavigation {
        stack: page.stack
        active: page.view.isonLogin
        screen: "qrc:/Orvelle/Inspection/qml/OnInspectionListPage.qml"
        pageProperties: () => ({ view: page.view.onSiteCheck, stack: page.stack })
        onClosed: page.view.isonLogin = false
    }
    StackNavigation {
        stack: page.stack
        active: page.view.showHazardForm
        screen: "qrc:/Orvelle/Hazard/qml/SHazardDescriptorPage.qml"
        pageProperties: () => ({ view: page.view.hazardForm })
        onClosed: page.view.showHazardForm = false
    }
    StackNavigation {
        stack: page.stack
        active: page.view.isScannerPresented
        screen: "qrc:/Orvelle/Platform/qml/QRCodeScannerPage.qml"
        pageProperties: () => ({ view: page.view.scanner })
        onClosed: page.view.isScannerPresented = false
    }
    StackNavigation {
        stack: page.stack
        active: page.view.shouldNavigate
        screen: "qrc:/Orvelle/Platform/qml/RiskAnnouncementPage.qml"
        pageProperties: () => ({ view: page.view.announcement })
        onClosed: page.view.shouldNavigate = false
    }

    AlertBox { alert: page.view.alert }
    // Asked before an outbox action that loses something.
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

    Toast { manager: page.view.toastManager }
}
