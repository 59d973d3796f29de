import QtQuick
import QtQuick.Controls
import Orvelle.Core

// A photo from the file store: a busy indicator while it loads, the photo
// symbol when it cannot be fetched. Images are kept in memory only.
Item {
    id: photo
    property url source
    property int fillMode: Image.PreserveAspectCrop

    Image {
        id: image
        objectName: "remotePhoto"
        anchors.fill: parent
        source: photo.source
        fillMode: photo.fillMode
        asynchronous: true
        cache: true
        sourceSize.width: photo.width > 0 ? Math.ceil(photo.width * 2) : undefined
    }
    BusyIndicator {
        anchors.centerIn: parent
        width: Math.min(parent.width, 48)
        height: width
        running: image.status === Image.Loading
        visible: running
    }
    Image {
        objectName: "photoFailed"
        anchors.centerIn: parent
        visible: image.status === Image.Error || photo.source.toString() === ""
        source: Theme.icon("photo")
        sourceSize: Qt.size(Math.min(photo.width, 48), Math.min(photo.width, 48))
        Accessible.ignored: true
    }
}
