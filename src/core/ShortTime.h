#pragma once

#include <QDateTime>
#include <QString>

namespace orvelle {

// A moment as a list shows it: the time alone for today, else with its day.
inline QString shortTime(const QDateTime &moment)
{
    const QDateTime local = moment.toLocalTime();
    return local.toString(local.date() == QDate::currentDate() ? u"HH:mm" : u"MM-dd HH:mm");
}

} // namespace orvelle
