#pragma once

#include <QMutex>
#include <QStringList>

namespace orvelle::test {

// While it lives, switches on the debug lines of the categories that start
// with `prefix` ("" for every one, Qt's own included) and keeps what they log,
// from any thread, as "category: message". One at a time.
class LogCapture
{
public:
    explicit LogCapture(const QString &prefix = {});
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    QString text() const { return lines().join(QLatin1Char('\n')); }
    // The first line holding a secret as typed or percent-encoded; "" when none.
    static QString lineWithSecret(const QStringList &lines, const QStringList &secrets);

private:
    static void keep(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QString m_prefix;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

} // namespace orvelle::test
