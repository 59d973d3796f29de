#include "OutboxEntries.h"

#include "core/ShortTime.h"
#include "outbox/Outbox.h"

namespace orvelle {

OutboxEntries::OutboxEntries(Outbox &outbox, QObject *parent)
    : QAbstractListModel(parent)
    , m_outbox(outbox)
{
    connect(&outbox, &Outbox::changed, this, &OutboxEntries::reload);
    connect(&outbox, &Outbox::progressed, this, &OutboxEntries::progressed);
    reload();
}

void OutboxEntries::progressed(qint64 id)
{
    // Only the one line that moved.
    for (qsizetype row = 0; row < m_entries.size(); ++row)
        if (m_entries[row].id == id)
            emit dataChanged(index(int(row)), index(int(row)), {StateRole});
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

QString OutboxEntries::stateText(const OutboxEntry &entry, bool busy, const QString &progress)
{
    if (busy)
        return progress.isEmpty() ? QStringLiteral("正在上传")
                                  : QStringLiteral("正在上传：") + progress;
    switch (entry.state) {
    case OutboxState::Waiting:
        return entry.reason.isEmpty() ? QStringLiteral("等待上传")
                                      : QStringLiteral("等待上传（%1）").arg(entry.reason);
    case OutboxState::Sending:
        return QStringLiteral("正在上传");
    case OutboxState::Failed:
        return QStringLiteral("上传失败：%1").arg(entry.reason);
    case OutboxState::MaybeDelivered: {
        // When it went and why no answer came, so the user can judge.
        const QDateTime went = entry.attemptedAt.isValid() ? entry.attemptedAt : entry.createdAt;
        const QString why = entry.reason.isEmpty() ? QStringLiteral("未收到回复") : entry.reason;
        return QStringLiteral("可能已提交（%1 发出，%2）").arg(shortTime(went), why);
    }
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
    case StateRole: {
        const FilingProgress *progress = m_outbox.progress(entry.id);
        return stateText(entry, m_outbox.isBusy(entry.id),
                         progress ? progress->summary() : QString());
    }
    case CanResendRole:
        // Only the user can say a report that may have arrived did not.
        return m_outbox.canConfirm(entry) && !m_outbox.checksDelivery(entry);
    case CanConfirmRole:
        return m_outbox.canConfirm(entry);
    case CanEditRole:
        return m_outbox.canEdit(entry);
    case CanRemoveRole:
        return m_outbox.canRemove(entry);
    default:
        return {};
    }
}

QHash<int, QByteArray> OutboxEntries::roleNames() const
{
    return {{IdRole, "entryId"},      {TitleRole, "title"},         {TimeRole, "time"},
            {StateRole, "state"},     {CanResendRole, "canResend"}, {CanConfirmRole, "canConfirm"},
            {CanEditRole, "canEdit"}, {CanRemoveRole, "canRemove"}};
}

} // namespace orvelle
