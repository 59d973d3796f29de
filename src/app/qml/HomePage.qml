import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.App

// Draws HomeView: the welcome line, the four tiles and what waits to go. The
// pages they open are pushed by address, so start-up does not compile them
// (nor load the camera).
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
        OutboxSummary {
            Layout.fillWidth: true
            outbox: page.view.outbox
            offersList: true
            onOpenList: page.view.showOutbox = true
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
        active: page.view.showOutbox
        screen: "qrc:/Orvelle/App/qml/OutboxPage.qml"
        pageProperties: () => ({ view: page.view.outbox })
        onClosed: page.view.showOutbox = false
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

    Toast { manager: page.view.toastManager }
}
