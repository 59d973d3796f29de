import QtQuick
import QtQuick.Dialogs
import Orvelle.Platform
import Orvelle.Photos

// Draws ImagePicker: the platform's file dialog over image files, several at
// once. Open it with open(); the view decodes and appends what was chosen.
FileDialog {
    id: dialog
    required property ImagePicker view
    fileMode: FileDialog.OpenFiles
    nameFilters: PictureFormats.nameFilters
    onAccepted: dialog.view.pick(dialog.selectedFiles)
}
