import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Where a list's load stands, drawn in its page and never over it: the wait,
// the plain word that there is nothing, or why it failed with "重试"; and a
// thin bar while rows already shown are loaded again. Going back stays free
// throughout.
ColumnLayout {
    id: status
    property bool loading: false
    property bool empty: false
    property bool failed: false
    property bool refreshing: false
    property string loadingText: "正在加载…"
    property string emptyText
    property string errorMessage
    signal retry

    visible: loading || empty || failed || refreshing
    Layout.fillWidth: true
    spacing: Theme.spacing

    ProgressBar {
        objectName: "listRefreshing"
        Layout.fillWidth: true
        visible: status.refreshing
        indeterminate: true
        Accessible.name: "正在刷新"
    }
    BusyIndicator {
        objectName: "listLoading"
        Layout.alignment: Qt.AlignHCenter
        Layout.topMargin: Theme.spacing * 2
        visible: status.loading
        running: visible
        Accessible.name: status.loadingText
    }
    Label {
        Layout.fillWidth: true
        visible: status.loading
        text: status.loadingText
        color: Theme.faintText
        font.pixelSize: Theme.regularTitleSize
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        Accessible.name: text
    }
    Label {
        objectName: "listEmpty"
        Layout.fillWidth: true
        Layout.margins: Theme.spacing * 2
        visible: status.empty
        text: status.emptyText
        color: Theme.faintText
        font.pixelSize: Theme.bigTitleSize
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.Wrap
        Accessible.name: text
    }
    ErrorRetry {
        visible: status.failed
        message: status.errorMessage
        retryText: "重试"
        onRetry: status.retry()
    }
}
