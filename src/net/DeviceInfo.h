#pragma once

#include "core/AppConfig.h"

#include <QString>

namespace orvelle {

// The handset description every service request carries. Each value can be
// overridden in the configuration, so a desktop can present a phone.
class DeviceInfo
{
public:
    explicit DeviceInfo(const AppConfig &config = {});

    // Read at every call; nothing is cached.
    QString modelName() const;
    QString deviceName() const;
    QString systemVersion() const;

    // The hardware identifier of this machine (uname's machine field).
    static QString machineIdentifier();
    // The marketing name of an identifier, or the identifier itself.
    static QString modelNameFor(const QString &identifier);

private:
    std::optional<QString> m_model, m_name, m_version;
};

} // namespace orvelle
