import QtQuick
import Orvelle.Core

// A screen's message box drawn from its view's alert state.
MessageBox {
    property AlertState alert

    message: alert ? alert.message : ""
    shown: alert ? alert.shown : false
    onAcknowledged: if (alert) alert.acknowledge()
}
