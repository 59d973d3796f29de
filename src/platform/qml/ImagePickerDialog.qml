import QtQuick
import QtQuick.Dialogs
import Orvelle.Platform

// Draws ImagePicker: the platform's file dialog over image files, several at
// once. Open it with open(); the view decodes and appends what was chosen.
FileDialog {
    id: dialog
    required property ImagePicker view
    fileMode: FileDialog.OpenFiles
    nameFilters: ["图片 (*.png *.jpg *.jpeg *.bmp *.gif *.webp *.heic)"]
    onAccepted: dialog.view.pick(dialog.selectedFiles)
}
