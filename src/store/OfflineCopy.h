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

    // The failure code of a request that got no answer.
    static constexpr qint64 noAnswer = -2;

    OfflineCopy(DeviceStore *store, const QString &account, const QString &key);

    // False when it could not be written.
    bool keep(const QJsonObject &answer) const;
    std::optional<Kept> instead(qint64 failureCode) const;
    // When the kept answer was loaded; none when nothing is kept.
    std::optional<QDateTime> keptAt() const;

private:
    DeviceStore *m_store;
    QString m_account;
    QString m_key;
};

} // namespace orvelle
