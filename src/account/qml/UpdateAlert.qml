import QtQuick
import Orvelle.Core
import Orvelle.Account

// The update alert of the sign-in screen and the main tabs. It cannot be
// dismissed: "确认" opens the download address and the alert comes back.
AlertBox {
    required property VersionChecker checker
    objectName: "UpdateAlert"
    title: "更新提示"
    buttonText: "确认"
    alert: checker.alert
}
