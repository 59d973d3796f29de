#include "WebSandbox.h"

#include <QRegularExpression>
#include <QStringList>

namespace orvelle {

namespace {

struct HarmlessFlag
{
    const char *name;
    bool takesValue;
};

// What users set for a graphics driver, a screen or a log; nothing here
// changes what a page may do or where the engine's processes run.
constexpr HarmlessFlag harmlessFlags[] = {
    {"--disable-gpu", false},
    {"--disable-gpu-compositing", false},
    {"--disable-gpu-rasterization", false},
    {"--enable-gpu-rasterization", false},
    {"--ignore-gpu-blocklist", false},
    {"--use-gl", true},
    {"--force-device-scale-factor", true},
    {"--force-dark-mode", false},
    {"--lang", true},
    {"--enable-logging", false},
    {"--log-level", true},
    {"--v", true},
};

bool harmless(const QString &flag)
{
    // A value is a plain word or number: no quote, no second flag inside.
    static const QRegularExpression value(QStringLiteral("^[A-Za-z0-9_.,-]+$"));
    const qsizetype equals = flag.indexOf(u'=');
    const QString name = equals < 0 ? flag : flag.left(equals);
    for (const HarmlessFlag &known : harmlessFlags) {
        if (name != QLatin1String(known.name))
            continue;
        if (equals < 0)
            return !known.takesValue;
        return known.takesValue && value.match(flag.mid(equals + 1)).hasMatch();
    }
    return false;
}

} // namespace

QString harmlessChromiumFlags(const QString &flags)
{
    // Split as the engine splits it, on any white space; a quoted part
    // fails the value check above and is dropped whole.
    QStringList kept;
    for (const QString &flag :
         flags.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (harmless(flag))
            kept << flag;
    }
    return kept.join(u' ');
}

void keepWebSandbox(bool runsAsRoot)
{
    if (runsAsRoot)
        return;
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    // A debugging port would hand the pages to any local process.
    qunsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    if (qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                harmlessChromiumFlags(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"))
                    .toLocal8Bit());
}

} // namespace orvelle
