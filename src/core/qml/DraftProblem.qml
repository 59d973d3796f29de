import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Why a form's draft cannot be kept, in red above the form, while that lasts.
Label {
    // The form's draft: its problem text.
    required property QtObject draft

    objectName: "draftProblem"
    Layout.fillWidth: true
    Layout.margins: Theme.spacing
    visible: text !== ""
    text: draft.problem
    color: "red"
    wrapMode: Text.Wrap
    Accessible.name: text
}
