#pragma once

#include <QLoggingCategory>
#include <QMutex>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

namespace orvelle::test {

// While it lives, switches on the debug lines of the categories that start
// with `prefix` ("" for every one, Qt's own included) and keeps what they log,
// from any thread, as "category: message". One at a time.
class LogCapture
{
public:
    explicit LogCapture(const QString &prefix = {})
        : m_prefix(prefix)
    {
        QLoggingCategory::setFilterRules((prefix.isEmpty() ? QStringLiteral("*") : prefix)
                                         + QStringLiteral(".debug=true"));
        s_active = this;
        m_previous = qInstallMessageHandler(&LogCapture::keep);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
        QLoggingCategory::setFilterRules(QString());
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    QString text() const { return lines().join(QLatin1Char('\n')); }
    // The first line holding a secret as typed or percent-encoded; "" when none.
    // Only whole words count: a six-digit code may well be part of an address.
    static QString lineWithSecret(const QStringList &lines, const QStringList &secrets)
    {
        for (const QString &secret : secrets) {
            const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(secret));
            const QRegularExpression word(
                QStringLiteral("(?<![0-9A-Za-z])(%1|%2)(?![0-9A-Za-z])")
                    .arg(QRegularExpression::escape(secret), QRegularExpression::escape(encoded)));
            for (const QString &line : lines)
                if (line.contains(word))
                    return line;
        }
        return {};
    }

private:
    static void keep(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const QString category = QString::fromLatin1(context.category);
        // The test's own words still reach its report; Qt Quick's uncategorized
        // debug lines would fill QTest's quota of messages and hide them.
        if (s_active && s_active->m_previous && category == QLatin1String("default")
            && type != QtDebugMsg)
            s_active->m_previous(type, context, message);
        if (!s_active || !category.startsWith(s_active->m_prefix))
            return;
        const QMutexLocker lock(&s_active->m_mutex);
        s_active->m_lines << category + QStringLiteral(": ") + message;
    }

    static inline LogCapture *s_active = nullptr;
    QString m_prefix;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

} // namespace orvelle::test
