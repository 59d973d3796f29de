#pragma once

#include "store/DeviceStore.h"

#include <QAbstractListModel>
#include <QList>

namespace orvelle {

class Outbox;

// The outbox as the home menu lists it, oldest first: what each entry is,
// when it was filed and where it stands.
class OutboxEntries : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        TitleRole,
        TimeRole,
        StateRole,
        CanResendRole,
        CanConfirmRole,
        CanEditRole,
        CanRemoveRole,
    };

    explicit OutboxEntries(Outbox &outbox, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Where the entry stands and why: the service's or the store's reason, and
    // for "可能已提交" when it went and why no answer came; for the entry on
    // its way how far it has come.
    static QString stateText(const OutboxEntry &entry, bool busy, const QString &progress = {});

private:
    void reload();
    void progressed(qint64 id);

    Outbox &m_outbox;
    QList<OutboxEntry> m_entries;
};

} // namespace orvelle
