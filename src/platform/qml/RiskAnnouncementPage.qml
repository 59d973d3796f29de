import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Platform

// Draws RiskAnnouncementWebView: the notice page's host under the title and
// the page with its progress and failure filling the rest, or the link error.
// The web engine is loaded only when there is a page to show.
Page {
    id: page
    required property RiskAnnouncementWebView view
    objectName: "RiskAnnouncementWebView"
    title: page.view.title
    background: Rectangle { color: Theme.background }

    // Under the title, where the page comes from: a swapped sticker shows here.
    Label {
        id: origin
        objectName: "noticeHost"
        visible: !!page.view.webView
        width: parent.width
        height: visible ? implicitHeight + 8 : 0
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        text: page.view.webView ? page.view.webView.host : ""
        font: TextStyles.smallText
        color: TextStyles.smallTextColor
        elide: Text.ElideMiddle
        Accessible.name: text
    }

    Loader {
        anchors.top: origin.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        active: !!page.view.webView
        sourceComponent: WebPageFrame { view: page.view.webView }
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
