#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace orvelle {

class DeviceStore;

// A service answer kept for working without a network: kept after each good
// answer, given back instead of a failure that means no answer came (-2).
class OfflineCopy
{
public:
    struct Kept
    {
        QJsonObject answer;
        QDateTime loadedAt;
    };

    OfflineCopy(DeviceStore *store, const QString &account, const QString &key);

    void keep(const QJsonObject &answer) const;
    std::optional<Kept> instead(qint64 failureCode) const;

private:
    DeviceStore *m_store;
    QString m_account;
    QString m_key;
};

} // namespace orvelle
