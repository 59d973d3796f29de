#include "OutboxEntries.h"

#include "core/ShortTime.h"
#include "outbox/Outbox.h"

namespace orvelle {

OutboxEntries::OutboxEntries(Outbox &outbox, QObject *parent)
    : QAbstractListModel(parent)
    , m_outbox(outbox)
{
    connect(&outbox, &Outbox::changed, this, &OutboxEntries::reload);
    reload();
}

void OutboxEntries::reload()
{
    beginResetModel();
    m_entries = m_outbox.entries();
    endResetModel();
}

int OutboxEntries::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QString OutboxEntries::stateText(const OutboxEntry &entry)
{
    switch (entry.state) {
    case OutboxState::Waiting:
        return entry.reason.isEmpty() ? QStringLiteral("等待上传")
                                      : QStringLiteral("等待上传（%1）").arg(entry.reason);
    case OutboxState::Sending:
        return QStringLiteral("正在上传");
    case OutboxState::Failed:
        return QStringLiteral("上传失败：%1").arg(entry.reason);
    case OutboxState::MaybeDelivered:
        return QStringLiteral("可能已提交");
    case OutboxState::Sent:
        return QStringLiteral("已上传");
    }
    return {};
}

QVariant OutboxEntries::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const OutboxEntry &entry = m_entries.at(index.row());
    switch (role) {
    case IdRole:
        return entry.id;
    case TitleRole:
        return entry.title;
    case TimeRole:
        return shortTime(entry.createdAt);
    case StateRole:
        return stateText(entry);
    case CanResendRole:
        // Only the user can say a report that may have arrived did not.
        return entry.state == OutboxState::MaybeDelivered && !m_outbox.checksDelivery(entry);
    default:
        return {};
    }
}

QHash<int, QByteArray> OutboxEntries::roleNames() const
{
    return {{IdRole, "entryId"},
            {TitleRole, "title"},
            {TimeRole, "time"},
            {StateRole, "state"},
            {CanResendRole, "canResend"}};
}

} // namespace orvelle
