#include "DeviceInfo.h"

#include <QSysInfo>
#include <sys/utsname.h>

#include <cstring>
#include <utility>

namespace orvelle {

namespace {
// Searched in this order; the first exact match wins.
const std::pair<const char *, const char *> modelTable[] = {
    {"iPod1,1", "iPod Touch 1"},
    {"iPod2,1", "iPod Touch 2"},
    {"iPod3,1", "iPod Touch 3"},
    {"iPod4,1", "iPod Touch 4"},
    {"iPod5,1", "iPod Touch (5 Gen)"},
    {"iPod7,1", "iPod Touch 6"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone3,2", "iPhone 4"},
    {"iPhone3,3", "iPhone 4"},
    {"iPhone4,1", "iPhone 4s"},
    {"iPhone5,1", "iPhone 5"},
    {"iPhone5,2", "iPhone 5 (GSM+CDMA)"},
    {"iPhone5,3", "iPhone 5c (GSM)"},
    {"iPhone5,4", "iPhone 5c (GSM+CDMA)"},
    {"iPhone6,1", "iPhone 5s (GSM)"},
    {"iPhone6,2", "iPhone 5s (GSM+CDMA)"},
    {"iPhone7,2", "iPhone 6"},
    {"iPhone7,1", "iPhone 6 Plus"},
    {"iPhone8,1", "iPhone 6s"},
    {"iPhone8,2", "iPhone 6s Plus"},
    {"iPhone8,4", "iPhone SE"},
    {"iPhone9,1", "iPhone 7"},
    {"iPhone9,2", "iPhone 7 Plus"},
    {"iPhone9,3", "美版、台版iPhone 7"},
    {"iPhone9,4", "美版、台版iPhone 7 Plus"},
    {"iPhone10,1", "iPhone 8"},
    {"iPhone10,4", "iPhone 8"},
    {"iPhone10,2", "iPhone 8 Plus"},
    {"iPhone10,5", "iPhone 8 Plus"},
    {"iPhone10,3", "iPhone X"},
    {"iPhone10,6", "iPhone X"},
    {"iPhone11,2", "iPhone XS"},
    {"iPhone11,6", "iPhone XS Max"},
    {"iPhone11,8", "iPhone XR"},
    {"iPhone12,1", "iPhone 11"},
    {"iPhone12,3", "iPhone 11 Pro"},
    {"iPhone12,5", "iPhone 11 Pro Max"},
    {"iPhone12,8", "iPhone SE(2nd generation)"},
    {"iPhone13,1", "iPhone 12 Mini"},
    {"iPhone13,2", "iPhone 12"},
    {"iPhone13,3", "iPhone 12 Pro"},
    {"iPhone13,4", "iPhone 12 Pro Max"},
    {"iPhone14,4", "iPhone 13 Mini"},
    {"iPhone14,5", "iPhone 13"},
    {"iPhone14,2", "iPhone 13 Pro"},
    {"iPhone14,3", "iPhone 13 Pro Max"},
    {"iPad1,1", "iPad"},
    {"iPad1,2", "iPad 3G"},
    {"iPad2,1", "iPad 2"},
    {"iPad2,2", "iPad 2"},
    {"iPad2,3", "iPad 2"},
    {"iPad2,4", "iPad 2"},
    {"iPad2,5", "iPad Mini"},
    {"iPad2,6", "iPad Mini"},
    {"iPad2,7", "iPad Mini"},
    {"iPad3,1", "iPad 3"},
    {"iPad3,2", "iPad 3"},
    {"iPad3,3", "iPad 3"},
    {"iPad3,4", "iPad 4"},
    {"iPad3,5", "iPad 4"},
    {"iPad3,6", "iPad 4"},
    {"iPad4,1", "iPad Air"},
    {"iPad4,2", "iPad Air"},
    {"iPad4,3", "iPad Air"},
    {"iPad4,4", "iPad Mini 2"},
    {"iPad4,5", "iPad Mini 2"},
    {"iPad4,6", "iPad Mini 2"},
    {"iPad4,7", "iPad Mini 3"},
    {"iPad4,8", "iPad Mini 3"},
    {"iPad4,9", "iPad Mini 3"},
    {"iPad5,1", "iPad Mini 4"},
    {"iPad5,2", "iPad Mini 4"},
    {"iPad5,3", "iPad Air 2"},
    {"iPad5,4", "iPad Air 2"},
    {"iPad6,3", "iPad Pro 9.7"},
    {"iPad6,4", "iPad Pro 9.7"},
    {"iPad6,7", "iPad Pro 12.9"},
    {"iPad6,8", "iPad Pro 12.9"},
    {"AppleTV2,1", "Apple TV 2"},
    {"AppleTV3,1", "Apple TV 3"},
    {"AppleTV3,2", "Apple TV 3"},
    {"AppleTV5,3", "Apple TV 4"},
    {"i386", "Simulator"},
    {"x86_64", "Simulator"},
};
} // namespace

DeviceInfo::DeviceInfo(const AppConfig &config)
    : m_model(config.deviceModel)
    , m_name(config.deviceName)
    , m_version(config.deviceSystemVersion)
{}

QString DeviceInfo::machineIdentifier()
{
    utsname info;
    std::memset(&info, 0, sizeof info);
    if (uname(&info) != 0)
        return {};
    // Every non-zero byte of the field, in order, each one ASCII character.
    QString identifier;
    for (const char c : info.machine) {
        if (c != 0)
            identifier.append(QLatin1Char(c));
    }
    return identifier;
}

QString DeviceInfo::modelNameFor(const QString &identifier)
{
    for (const auto &[id, name] : modelTable) {
        if (identifier == QLatin1String(id))
            return QString::fromUtf8(name);
    }
    return identifier;
}

QString DeviceInfo::modelName() const
{
    return m_model ? *m_model : modelNameFor(machineIdentifier());
}

QString DeviceInfo::deviceName() const
{
    return m_name ? *m_name : QSysInfo::machineHostName();
}

QString DeviceInfo::systemVersion() const
{
    return m_version ? *m_version : QSysInfo::productVersion();
}

} // namespace orvelle
