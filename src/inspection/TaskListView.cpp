#include "TaskListView.h"

#include "BlankSheets.h"
#include "CheckitemListRequest.h"
#include "InspectionRules.h"
#include "core/AppConfig.h"
#include "core/ShortTime.h"
#include "net/Endpoints.h"
#include "net/ServiceClient.h"
#include "platform/QRCodeScannerView.h"
#include "session/User.h"

#include <QTimer>

namespace orvelle {

TaskListView::TaskListView(const QString &title, ServiceClient &client, const AppConfig &config,
                           User &user, CameraProvider &cameras, Beeper &beeper, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_user(user)
    , m_cameras(cameras)
    , m_notesServer(config.notesServer)
    , m_beeper(beeper)
    , m_title(title)
{}

TaskListView::~TaskListView() = default;

void TaskListView::setIsScannerPresented(bool on)
{
    if (m_scanner.setOpen(on, [this] {
            auto *scanner = new QRCodeScannerView(m_cameras, m_beeper, this);
            connect(scanner, &QRCodeScannerView::didFindCode, this, &TaskListView::codeScanned);
            return scanner;
        }))
        emit scannerChanged();
}

void TaskListView::appeared()
{
    reload();
}

void TaskListView::reload()
{
    const QJsonObject parameters{
        {QStringLiteral("db"), endpoints::notesDatabase},
        {QStringLiteral("db_vw"), endpoints::views::projectByQzdept},
        {QStringLiteral("server"), m_notesServer},
        {QStringLiteral("qzDept"), departmentText(m_user)},
    };
    QObject *read = m_load.start();
    emit listChanged();
    requestCheckitems<TodayInspectionData>(
        m_client, endpoints::json::todayByDept, parameters, read,
        [this](QList<Checkitem> checkitems, const QDateTime &loadedAt) {
            // A later good answer brings the list back.
            m_load.answered();
            m_checkitems.setRecords(std::move(checkitems));
            m_keptAt = loadedAt;
            m_offline = loadedAt.isValid();
            emit listChanged();
            keepSheets();
        },
        [this](qint64 code, const QString &message) {
            m_load.failed(message);
            m_offline = code == OfflineCopy::noAnswer;
            emit listChanged();
        },
        OfflineCopy(m_store, m_user.storeKey(), QStringLiteral("today/") + departmentText(m_user)));
}

void TaskListView::setBlankSheets(BlankSheets *sheets)
{
    m_blankSheets = sheets;
    connect(sheets, &BlankSheets::changed, this, [this] {
        m_checkitems.setSheetKept(
            [sheets = m_blankSheets](const QString &key) { return sheets && sheets->isKept(key); });
        emit listChanged();
    });
}

void TaskListView::keepSheets()
{
    if (!m_blankSheets)
        return;
    QStringList keys;
    for (const Checkitem &item : m_checkitems.records())
        if (item.key)
            keys << *item.key;
    // Only a list the service has just given is worth fetching every sheet for.
    m_blankSheets->listed(keys, !m_offline);
}

QString TaskListView::keptSheetsText() const
{
    if (!m_blankSheets || m_checkitems.rowCount() == 0)
        return {};
    return QStringLiteral("已保存 %1/%2 张检查表")
        .arg(m_checkitems.keptCount())
        .arg(m_checkitems.rowCount());
}

bool TaskListView::selectedSheetKept() const
{
    return m_blankSheets && m_selectedKey && m_blankSheets->isKept(*m_selectedKey);
}

std::optional<QString> TaskListView::selectedName() const
{
    for (const Checkitem &item : m_checkitems.records())
        if (item.key == m_selectedKey)
            return item.project.value_or(unknownItemText());
    return std::nullopt;
}

QString TaskListView::keptAt() const
{
    return m_keptAt.isValid() ? shortTime(m_keptAt) : QString();
}

void TaskListView::pick(int row)
{
    const Checkitem *item = m_checkitems.at(row);
    if (!item)
        return;
    m_selectedKey = item->key;
    emit selectedKeyChanged();
    checkPointChosen();
}

void TaskListView::codeScanned(const QString &text)
{
    // The camera keeps reporting while the code stays in view.
    if (!isScannerPresented())
        return;
    const std::optional<QString> key = checkPointKey(text);
    if (!key)
        return;
    m_selectedKey = *key;
    emit selectedKeyChanged();
    setIsScannerPresented(false);
    // The scanner is asked to close before the next screen opens.
    QTimer::singleShot(0, this, [this] { checkPointChosen(); });
}

void TaskListView::screenLeft()
{
    m_load.cancel();
    emit listChanged();
}

} // namespace orvelle
