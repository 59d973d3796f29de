import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The red title bar of a page, with a back button when the page can go back.
ToolBar {
    id: bar
    property string title
    property bool canGoBack: false
    signal back

    height: 56
    background: Rectangle { color: Theme.accent }

    // A hidden bar (the sign-in screen's) makes its contents when first shown.
    onVisibleChanged: if (visible) content.active = true
    Component.onCompleted: if (visible) content.active = true

    Loader {
        id: content
        anchors.fill: parent
        active: false
        sourceComponent: RowLayout {
            spacing: 0
            ToolButton {
                visible: bar.canGoBack
                Layout.preferredWidth: Theme.touchTarget
                Layout.preferredHeight: Theme.touchTarget
                icon.source: Theme.icon("back")
                icon.color: "white"
                Accessible.name: "返回"
                onClicked: bar.back()
            }
            Label {
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignHCenter
                text: bar.title
                color: "white"
                font.pixelSize: Theme.bigTitleSize + 2
                font.bold: true
                elide: Text.ElideRight
                Accessible.role: Accessible.TitleBar
                Accessible.name: text
            }
            Item {
                visible: bar.canGoBack
                Layout.preferredWidth: Theme.touchTarget
            }
        }
    }
}
