#include "QrCodes.h"

#include "FileStore.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace orvelle::devserver {

namespace {

bool encode(const QString &text, const QString &file, QString *error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("qrencode"),
                  {QStringLiteral("-s"), QStringLiteral("8"), QStringLiteral("-o"), file, text});
    if (!process.waitForStarted()) {
        *error = QStringLiteral("cannot run qrencode: %1").arg(process.errorString());
        return false;
    }
    process.waitForFinished(30000);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("qrencode failed for %1: %2")
                     .arg(file, QString::fromLocal8Bit(process.readAll()).trimmed());
        return false;
    }
    return true;
}

} // namespace

bool printQrCodes(Store &store, const QString &photoHost, const QString &dir, QString *error)
{
    const QDir out(dir);
    if (!out.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    for (const auto &[key, project] : store.allCheckPoints()) {
        const QString text =
            QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("key"), key},
                                                        {QStringLiteral("project"), project}})
                                  .toJson(QJsonDocument::Compact));
        if (!encode(text, out.filePath(QStringLiteral("checkpoint-%1.png").arg(key)), error))
            return false;
    }
    for (int n = 1; n <= noticeCount; ++n)
        if (!encode(noticeUrl(photoHost, n), out.filePath(QStringLiteral("notice-%1.png").arg(n)),
                    error))
            return false;
    return true;
}

} // namespace orvelle::devserver
