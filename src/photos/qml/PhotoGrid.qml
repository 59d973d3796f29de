import QtQuick
import QtQuick.Controls
import Orvelle.Core
import Orvelle.Photos

// Draws PhotoAttachments: thumbnails with a remove button each, an add tile
// while fewer than its limit are held, and the tapped photo enlarged in a
// sheet. Tiles draw the list's thumbnails; the enlarged photo is read from
// its file at screen size and let go when the sheet closes.
Item {
    id: grid
    required property PhotoAttachments attachments
    readonly property PhotoListModel photos: attachments.selectedImages
    property int columns: 4
    property int spacing: 10
    property int tileSize: 70

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
                        onClicked: grid.attachments.previewPhoto(tile.photoId)
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
                    enabled: grid.attachments.editable
                    Accessible.name: "删除图片"
                    onClicked: grid.attachments.removePhoto(tile.index)
                }
            }
        }

        Item {
            width: tiles.cellWidth
            height: grid.tileSize
            visible: grid.photos.count < grid.attachments.addTileLimit

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
                        text: "添加图片"
                        color: "gray"
                        font.pixelSize: Theme.smallTextSize
                    }
                }
                MouseArea {
                    anchors.fill: parent
                    Accessible.role: Accessible.Button
                    Accessible.name: "添加图片"
                    onClicked: grid.attachments.addPhoto()
                }
            }
        }
    }

    // Opened and closed imperatively: a bound `visible` would be cut by Escape.
    Connections {
        target: grid.attachments
        function onChanged() {
            if (grid.attachments.showImagePreview && !preview.visible)
                preview.open()
            else if (!grid.attachments.showImagePreview && preview.visible)
                preview.close()
        }
    }

    // The photo stretched over the whole window on black.
    Popup {
        id: preview
        objectName: "ImagePreviewView"
        readonly property int photoId: grid.attachments.selectedImageForPreview
        parent: Overlay.overlay
        x: 0
        y: 0
        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        modal: true
        padding: 0
        closePolicy: Popup.CloseOnEscape
        background: Rectangle { color: "black" }
        onClosed: grid.attachments.closePreview()

        Image {
            objectName: "previewImage"
            anchors.fill: parent
            asynchronous: true
            cache: false
            fillMode: Image.Stretch
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            source: preview.opened || preview.visible ? images.stretchedUrl(preview.photoId) : ""
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
