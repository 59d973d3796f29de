import QtQuick
import QtWebEngine
import Orvelle.Platform

// Draws WebView on the web engine. The only file that imports the engine, and
// it is loaded only when a page is opened, so start-up does not load it.
// A page may come from a swapped sticker: it opens only http(s) addresses
// the view allows, in this frame, and every dialog, permission, file chooser,
// full screen or new window it asks for is refused.
WebEngineView {
    id: web
    required property WebView view
    objectName: "WebView"
    url: web.view.url
    // A failed page stays blank behind the view's own message: the engine's
    // error page is in English and names its internals.
    settings.errorPageEnabled: false
    // Nothing goes to the desktop's handler (xdg-open) for another scheme.
    settings.unknownUrlSchemePolicy: WebEngineSettings.DisallowUnknownUrlSchemes
    settings.javascriptCanAccessClipboard: false
    settings.javascriptCanPaste: false
    settings.localContentCanAccessFileUrls: false
    settings.pluginsEnabled: false

    onLoadingChanged: (info) => {
        switch (info.status) {
        case WebEngineLoadingInfo.LoadStartedStatus:
            web.view.navigationStarted(web.url)
            break
        case WebEngineLoadingInfo.LoadSucceededStatus:
            web.view.navigationFinished(web.url)
            break
        case WebEngineLoadingInfo.LoadFailedStatus:
            web.view.navigationFailed(info.errorString, info.errorCode, info.errorDomain)
            break
        case WebEngineLoadingInfo.LoadStoppedStatus:
            web.view.navigationStopped()
            break
        }
    }
    onTitleChanged: if (web.loading) web.view.contentArrived()
    onLoadProgressChanged: web.view.setProgress(web.loadProgress)

    onNavigationRequested: (request) => {
        if (web.view.allows(request.url, request.isMainFrame))
            return
        request.action = WebEngineNavigationRequest.IgnoreRequest
        web.view.refused("navigation", request.url)
    }
    onAuthenticationDialogRequested: (request) => {
        request.accepted = true
        request.dialogReject()
        web.view.refused("sign-in dialog", request.url)
    }
    onJavaScriptDialogRequested: (request) => {
        request.accepted = true
        request.dialogReject()
        web.view.refused("JavaScript dialog", request.securityOrigin)
    }
    onFileDialogRequested: (request) => {
        request.accepted = true
        request.dialogReject()
        web.view.refused("file chooser", web.url)
    }
    onColorDialogRequested: (request) => {
        request.accepted = true
        request.dialogReject()
        web.view.refused("colour chooser", web.url)
    }
    onFeaturePermissionRequested: (securityOrigin, feature) => {
        web.grantFeaturePermission(securityOrigin, feature, false)
        web.view.refused("permission " + feature, securityOrigin)
    }
    onFullScreenRequested: (request) => {
        request.reject()
        web.view.refused("full screen", request.origin)
    }
    onNewWindowRequested: (request) => web.view.refused("new window", request.requestedUrl)
    onRegisterProtocolHandlerRequested: (request) => {
        request.reject()
        web.view.refused("protocol handler", request.origin)
    }
    onFileSystemAccessRequested: (request) => {
        request.reject()
        web.view.refused("file system access", request.origin)
    }
    onQuotaRequested: (request) => {
        request.reject()
        web.view.refused("storage quota", request.origin)
    }

    Connections {
        target: web.view
        function onStopRequested() { web.stop() }
        function onReloadRequested() { web.reload() }
    }
}
