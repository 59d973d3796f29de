import QtQuick
import QtWebEngine
import Orvelle.Platform

// Draws WebView on the web engine. The only file that imports the engine, and
// it is loaded only when a page is opened, so start-up does not load it.
WebEngineView {
    id: web
    required property WebView view
    objectName: "WebView"
    url: web.view.url
    // A failed page stays blank: the engine's own error page is in English
    // and names its internals.
    settings.errorPageEnabled: false

    onLoadingChanged: (info) => {
        switch (info.status) {
        case WebEngineLoadingInfo.LoadStartedStatus:
            web.view.navigationStarted(web.url)
            break
        case WebEngineLoadingInfo.LoadSucceededStatus:
            web.view.navigationFinished(web.url)
            break
        case WebEngineLoadingInfo.LoadFailedStatus:
            web.view.navigationFailed(info.errorString, info.errorCode,
                                      info.errorDomain === WebEngineLoadingInfo.HttpStatusCodeDomain)
            break
        case WebEngineLoadingInfo.LoadStoppedStatus:
            web.view.navigationStopped()
            break
        }
    }
    onTitleChanged: if (web.loading) web.view.contentArrived()

    Connections {
        target: web.view
        function onStopRequested() { web.stop() }
    }
}
