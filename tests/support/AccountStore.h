#pragma once

#include "session/User.h"

#include <QSettings>
#include <QVariantMap>

namespace orvelle::test {

// Replaces the default account store with these entries, as a previous run
// of the client would have left them (a password or token among them as an
// older client kept them in the file); the keychain keeps none of its own.
inline void writeAccountStore(const QVariantMap &entries)
{
    {
        User record(User::defaultStoreFile());
        record.setToken(std::nullopt);
        record.setPassword(std::nullopt);
    }
    QSettings settings(User::defaultStoreFile(), QSettings::IniFormat);
    settings.clear();
    for (auto it = entries.begin(); it != entries.end(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
}

// An entry of the default account store, as the next run would read it.
inline QString storedEntry(const QString &key)
{
    return QSettings(User::defaultStoreFile(), QSettings::IniFormat).value(key).toString();
}

} // namespace orvelle::test
