import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvelle.Core
import Orvelle.Photos
import Orvelle.Platform
import Orvelle.Hazard

// Draws SHazardDescriptorView: photos, description and the six option rows,
// with "返回" and "新增" in the red bar. The view's closeRequested asks the
// opener to take the page away.
Page {
    id: page
    required property SHazardDescriptorView view
    objectName: "SHazardDescriptorView"
    title: page.view.title
    readonly property bool hidesPlatformBack: page.view.hidesPlatformBack
    // The back key asks the view too, so it keeps its guards.
    function goBack() { page.view.goBack() }
    background: Rectangle { color: Theme.background }

    Component.onCompleted: page.view.appeared()

    component BarButton: ToolButton {
        id: barButton
        Layout.preferredHeight: Theme.touchTarget
        Accessible.name: text
        contentItem: Label {
            text: barButton.text
            color: barButton.enabled ? "white" : Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: Theme.bigTitleSize
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
    }

    header: ToolBar {
        background: Rectangle { color: Theme.accent }
        RowLayout {
            anchors.fill: parent
            BarButton {
                text: "返回"
                enabled: page.view.canGoBack
                onClicked: page.view.goBack()
            }
            Item { Layout.fillWidth: true }
            BarButton {
                text: "新增"
                enabled: page.view.canSubmit
                onClicked: page.view.submit()
            }
        }
    }

    // The view closes the keyboard by clearing the focused field.
    Connections {
        target: page.view
        function onFocusedFieldChanged() {
            if (page.view.focusedField === "" && description.activeFocus)
                dismisser.dismiss()
        }
    }

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: column.implicitHeight + Theme.spacing * 2
        boundsBehavior: Flickable.StopAtBounds

        DismissKeyboardOnTapModifier {
            id: dismisser
            width: flick.width
            height: Math.max(flick.height, flick.contentHeight)
            z: -1
        }

        ColumnLayout {
            id: column
            x: Theme.spacing
            y: Theme.spacing
            width: flick.width - Theme.spacing * 2
            spacing: Theme.spacing

            DraftProblem { draft: page.view.draft }
            PhotoGrid {
                Layout.fillWidth: true
                attachments: page.view.photos
                columns: 4
            }
            Label {
                text: "请输入隐患描述信息"
                color: Theme.text
                font.pixelSize: Theme.bigTitleSize
                font.bold: true
                Accessible.name: text
            }
            TextArea {
                id: description
                objectName: "descriptionText"
                Layout.fillWidth: true
                Layout.preferredHeight: 100
                wrapMode: TextEdit.Wrap
                text: page.view.descriptionText
                font.pixelSize: Theme.regularTitleSize
                Accessible.name: "请输入隐患描述信息"
                onTextChanged: if (text !== page.view.descriptionText)
                                   page.view.descriptionText = text
                onActiveFocusChanged: page.view.focusedField = activeFocus ? objectName : ""
                background: Rectangle {
                    color: "white"
                    radius: 10
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 1
                Repeater {
                    model: page.view.rows
                    OptionRow {
                        required property int index
                        Layout.fillWidth: true
                        onClicked: page.view.rows.open(index)
                    }
                }
            }
        }
    }

    PlacePickerSheet {
        picker: page.view.picker
        onDismissed: page.view.dismissPicker()
    }

    PhotoAttachmentSheets {
        attachments: page.view.photos
    }

    AlertBox { alert: page.view.alert }

    DiscardDialog { guard: page.view.discardGuard }
    DraftDialog { draft: page.view.draft }

    LoadingOverlay {
        readonly property QtObject progress: page.view.filing.progress
        text: progress.step !== "" ? progress.step : "Loading..."
        detail: progress.amount
        value: progress.fraction
        actionText: "转入待上传"
        actionShown: page.view.filing.canMoveToOutbox
        onActionTriggered: page.view.filing.moveToOutbox()
        // Only a filing holds the page; the places' wait shows in their row.
        shown: page.view.isLoading
    }
}
