import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Platform

// Draws a WebView with what its load is doing: a thin bar of the engine's
// progress along the top while it loads, and, when it failed, why in words
// over the page with "重试" where another try may help. The web engine is
// loaded (by address, not as a type of this file) when the frame is made.
Item {
    id: frame
    required property WebView view

    Loader {
        id: content
        anchors.fill: parent
        Component.onCompleted: content.setSource(Qt.resolvedUrl("WebViewPage.qml"),
                                                 { view: frame.view })
    }

    Rectangle {
        objectName: "loadProgress"
        visible: frame.view.loading
        width: frame.width * Math.max(frame.view.progress, 5) / 100
        height: 3
        color: Theme.accent
        Accessible.role: Accessible.ProgressBar
        Accessible.name: "页面加载中 " + frame.view.progress + "%"
    }

    // Covers what the engine left of the page: blank, or half of it.
    Rectangle {
        anchors.fill: parent
        visible: frame.view.failureText !== ""
        color: Theme.background
        ColumnLayout {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            ErrorRetry {
                visible: frame.view.retryOffered
                message: frame.view.failureText
                retryText: "重试"
                onRetry: frame.view.retry()
            }
            Label {
                Layout.fillWidth: true
                Layout.margins: Theme.spacing
                visible: !frame.view.retryOffered
                text: frame.view.failureText
                color: "red"
                font.pixelSize: Theme.bigTitleSize
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                Accessible.name: text
            }
        }
    }
}
