import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Platform

// Draws RiskAnnouncementWebView: the notice page filling the whole page, or
// the link error. The web engine is loaded (by address, not as a type of this
// file) only when there is a page to show.
Page {
    id: page
    required property RiskAnnouncementWebView view
    objectName: "RiskAnnouncementWebView"
    title: page.view.title
    background: Rectangle { color: Theme.background }

    Loader {
        id: content
        anchors.fill: parent
        Component.onCompleted: {
            if (page.view.webView)
                content.setSource(Qt.resolvedUrl("WebViewPage.qml"), { view: page.view.webView })
        }
    }

    Label {
        anchors.centerIn: parent
        visible: !page.view.webView
        text: page.view.errorText
        font: TextStyles.bigTitleRed
        color: TextStyles.bigTitleRedColor
        Accessible.name: text
    }
}
