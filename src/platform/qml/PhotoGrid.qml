import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Platform

// The photos of a sheet or report: thumbnails with a remove button each, an
// add tile while fewer than `maximum` are held, and the photo enlarged in a
// sheet when tapped. Thumbnails are scaled copies; the list keeps full images.
Item {
    id: grid
    required property PhotoListModel photos
    property int columns: 4
    property int maximum: 8
    property int spacing: 10
    property int tileSize: 70
    property string addText: "添加图片"
    // The host decides what adding means (a choice of camera or album).
    signal addTapped
    // Hosts that keep the preview in their state follow it through these.
    signal photoTapped(int photoId)
    signal previewClosed

    readonly property bool previewOpen: preview.opened
    readonly property int previewPhotoId: preview.photoId

    implicitWidth: columns * tileSize + (columns - 1) * spacing
    implicitHeight: tiles.implicitHeight

    PhotoImageSource {
        id: images
        model: grid.photos
    }

    Grid {
        id: tiles
        width: grid.width
        columns: grid.columns
        spacing: grid.spacing
        readonly property real cellWidth: Math.max(grid.tileSize,
                                                   (width - (columns - 1) * spacing) / columns)

        Repeater {
            model: grid.photos
            delegate: Item {
                id: tile
                required property int index
                required property int photoId
                width: tiles.cellWidth
                height: grid.tileSize

                Rectangle {
                    id: frame
                    anchors.centerIn: parent
                    width: grid.tileSize
                    height: grid.tileSize
                    radius: 8
                    color: Theme.background
                    clip: true

                    Image {
                        objectName: "thumbnail"
                        anchors.fill: parent
                        asynchronous: true
                        fillMode: Image.PreserveAspectCrop
                        sourceSize: Qt.size(grid.tileSize * Screen.devicePixelRatio,
                                            grid.tileSize * Screen.devicePixelRatio)
                        source: images.url(tile.photoId)
                    }
                    MouseArea {
                        anchors.fill: parent
                        Accessible.role: Accessible.Button
                        Accessible.name: "查看图片"
                        onClicked: {
                            preview.photoId = tile.photoId
                            preview.open()
                            grid.photoTapped(tile.photoId)
                        }
                    }
                }
                ToolButton {
                    anchors.horizontalCenter: frame.right
                    anchors.verticalCenter: frame.top
                    anchors.horizontalCenterOffset: -4
                    anchors.verticalCenterOffset: 4
                    width: 32
                    height: 32
                    padding: 4
                    icon.source: Theme.icon("remove")
                    icon.color: "transparent"
                    icon.width: 22
                    icon.height: 22
                    Accessible.name: "删除图片"
                    onClicked: grid.photos.remove(tile.index)
                }
            }
        }

        Item {
            width: tiles.cellWidth
            height: grid.tileSize
            visible: grid.photos.count < grid.maximum

            Rectangle {
                anchors.centerIn: parent
                width: grid.tileSize
                height: grid.tileSize
                radius: 8
                color: Qt.rgba(0.5, 0.5, 0.5, 0.2)

                Column {
                    anchors.centerIn: parent
                    spacing: 2
                    Image {
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 28
                        height: 28
                        source: Theme.icon("plus")
                        sourceSize: Qt.size(56, 56)
                    }
                    Label {
                        text: grid.addText
                        color: "gray"
                        font.pixelSize: Theme.smallTextSize
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    Accessible.role: Accessible.Button
                    Accessible.name: grid.addText
                    onClicked: grid.addTapped()
                }
            }
        }
    }

    // The photo stretched over the whole window on black.
    Popup {
        id: preview
        objectName: "ImagePreviewView"
        property int photoId: 0
        parent: Overlay.overlay
        x: 0
        y: 0
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        closePolicy: Popup.CloseOnEscape
        background: Rectangle { color: "black" }
        onClosed: grid.previewClosed()

        Image {
            objectName: "previewImage"
            anchors.fill: parent
            asynchronous: true
            fillMode: Image.Stretch
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            source: preview.opened || preview.visible ? images.url(preview.photoId) : ""
        }
        Button {
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: Theme.spacing
            text: "关闭"
            Accessible.name: text
            onClicked: preview.close()
        }
    }
}
