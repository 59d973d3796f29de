#include "LogCapture.h"

#include <QLoggingCategory>
#include <QUrl>

namespace orvelle::test {

namespace {
LogCapture *active = nullptr;
}

LogCapture::LogCapture(const QString &prefix)
    : m_prefix(prefix)
{
    QLoggingCategory::setFilterRules((prefix.isEmpty() ? QStringLiteral("*") : prefix)
                                     + QStringLiteral(".debug=true"));
    active = this;
    m_previous = qInstallMessageHandler(&LogCapture::keep);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    active = nullptr;
    QLoggingCategory::setFilterRules(QString());
}

void LogCapture::keep(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    const QString category = QString::fromLatin1(context.category);
    if (!active || !category.startsWith(active->m_prefix))
        return;
    const QMutexLocker lock(&active->m_mutex);
    active->m_lines << category + QStringLiteral(": ") + message;
}

QStringList LogCapture::lines() const
{
    const QMutexLocker lock(&m_mutex);
    return m_lines;
}

QString LogCapture::lineWithSecret(const QStringList &lines, const QStringList &secrets)
{
    for (const QString &secret : secrets) {
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(secret));
        for (const QString &line : lines)
            if (line.contains(secret) || line.contains(encoded))
                return line;
    }
    return {};
}

} // namespace orvelle::test
