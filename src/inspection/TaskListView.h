#pragma once

#include "InspectionListModels.h"
#include "ListLoad.h"
#include "core/AlertState.h"
#include "core/ChildScreen.h"
#include "platform/QRCodeScannerView.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace orvelle {

class Beeper;
class BlankSheets;
class CameraProvider;
class DeviceStore;
class ServiceClient;
class User;
struct AppConfig;

// What both task lists share: today's check points of the user's department
// ("/notes/notestodayqzDeptKs"), the error text in place of the list, and the
// QR scanner that picks a check point by its posted code.
class TaskListView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The base of the two task lists")
    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(CheckitemListModel *checkitems READ checkitems CONSTANT)
    // The list's load: where it stands, its failure, and what of it is kept on the device.
    Q_PROPERTY(orvelle::ListState::Value listState READ listState NOTIFY listChanged)
    // A load is on its way, also while the rows of an earlier one stay shown.
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY listChanged)
    Q_PROPERTY(bool hasErrorMessage READ hasErrorMessage NOTIFY listChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY listChanged)
    // When the list on screen was loaded, for one kept from an earlier load; "" for a fresh one.
    Q_PROPERTY(QString keptAt READ keptAt NOTIFY listChanged)
    // How many of the listed check points' sheets are kept for use without a
    // network ("已保存 2/3 张检查表"); "" while none are kept for this list.
    Q_PROPERTY(QString keptSheetsText READ keptSheetsText NOTIFY listChanged)
    Q_PROPERTY(bool isScannerPresented READ isScannerPresented WRITE setIsScannerPresented NOTIFY
                   scannerChanged)
    Q_PROPERTY(QRCodeScannerView *scanner READ scanner NOTIFY scannerChanged)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)

public:
    ~TaskListView() override;

    QString title() const { return m_title; }
    CheckitemListModel *checkitems() { return &m_checkitems; }
    const std::optional<QString> &errorMessage() const { return m_load.failure(); }
    bool hasErrorMessage() const { return m_load.failure().has_value(); }
    QString errorMessageText() const { return m_load.failure().value_or(QString()); }
    ListState::Value listState() const { return m_load.state(m_checkitems.rowCount()); }
    bool isLoading() const { return m_load.running(); }
    QString keptAt() const;
    // Where the list, and the sheets their drafts, are kept; none keeps nothing.
    void setDeviceStore(DeviceStore *store) { m_store = store; }
    bool isScannerPresented() const { return m_scanner.isOpen(); }
    // Opening makes a fresh scanner (and opens the camera).
    void setIsScannerPresented(bool on);
    QRCodeScannerView *scanner() const { return m_scanner.view(); }
    // Where the listed check points' sheets are kept; none keeps none.
    void setBlankSheets(BlankSheets *sheets);
    QString keptSheetsText() const;
    AlertState *alert() { return &m_alert; }

    // Each time the screen is shown, and on "重试".
    Q_INVOKABLE virtual void appeared();
    Q_INVOKABLE void reload();
    // A tap on a row.
    Q_INVOKABLE void pick(int row);
    // The screen was left: an answer still on its way changes nothing.
    void screenLeft();
    // The scanner's report.
    Q_INVOKABLE void codeScanned(const QString &text);

signals:
    void listChanged();
    void scannerChanged();
    // A row was picked or a code scanned.
    void selectedKeyChanged();

protected:
    TaskListView(const QString &title, ServiceClient &client, const AppConfig &config, User &user,
                 CameraProvider &cameras, Beeper &beeper, QObject *parent);

    // A row was picked or a code scanned: `m_selectedKey` holds its key.
    virtual void checkPointChosen() = 0;
    // The service did not answer the last load: only what is kept can open.
    bool offline() const { return m_offline; }
    // The picked check point's sheet is kept on the device.
    bool selectedSheetKept() const;
    // The picked check point's name on today's list; none when it is not listed.
    std::optional<QString> selectedName() const;

    ServiceClient &m_client;
    User &m_user;
    CameraProvider &m_cameras;
    QString m_notesServer;
    std::optional<QString> m_selectedKey;
    DeviceStore *m_store = nullptr;

private:
    void keepSheets();

    Beeper &m_beeper;
    QString m_title;
    CheckitemListModel m_checkitems;
    ListLoad m_load;
    QDateTime m_keptAt;
    ChildScreen<QRCodeScannerView> m_scanner;
    QPointer<BlankSheets> m_blankSheets;
    AlertState m_alert;
    bool m_offline = false;
};

} // namespace orvelle
