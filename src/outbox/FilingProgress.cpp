#include "FilingProgress.h"

#include <QLocale>

namespace orvelle {

namespace {
// Often enough that the figure trails a fast link by little.
constexpr int quietMs = 150;

QString dataSize(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}
} // namespace

FilingProgress::FilingProgress(QObject *parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        if (m_untold)
            tell();
    });
}

qint64 FilingProgress::bytesSent() const
{
    qint64 sent = 0;
    for (const Sending &photo : m_photos)
        sent += photo.stored ? photo.size : photo.sent;
    return sent;
}

QString FilingProgress::step() const
{
    switch (m_stage) {
    case Stage::Idle:
        return {};
    case Stage::Photos:
        // The photos whose body went are still answered meanwhile.
        if (m_stopping)
            return QStringLiteral("正在转入待上传");
        return QStringLiteral("上传照片 %1/%2").arg(m_stored).arg(m_photos.size());
    case Stage::Record:
        return m_sheet ? QStringLiteral("提交检查表") : QStringLiteral("提交隐患");
    }
    return {};
}

QString FilingProgress::amount() const
{
    if (m_stage != Stage::Photos)
        return {};
    return dataSize(bytesSent()) + QStringLiteral(" / ") + dataSize(m_total);
}

double FilingProgress::fraction() const
{
    if (m_stage != Stage::Photos || m_total <= 0)
        return -1;
    return double(bytesSent()) / double(m_total);
}

QString FilingProgress::summary() const
{
    const QString bytes = amount();
    return bytes.isEmpty() ? step() : step() + QStringLiteral("（") + bytes + QStringLiteral("）");
}

void FilingProgress::begin(bool sheet, const QList<Photo> &photos)
{
    m_sheet = sheet;
    m_stopping = false;
    m_photos.clear();
    m_stored = 0;
    m_total = 0;
    for (const Photo &photo : photos) {
        if (m_photos.contains(photo.hash))
            continue;
        m_photos.insert(photo.hash, {photo.size, 0, photo.stored});
        m_stored += photo.stored ? 1 : 0;
        m_total += photo.size;
    }
    setStage(m_photos.isEmpty() ? Stage::Record : Stage::Photos);
}

void FilingProgress::photoSending(const QString &hash, qint64 sent, qint64 total)
{
    const auto photo = m_photos.find(hash);
    if (photo == m_photos.end() || photo->stored || total <= 0)
        return;
    // The multipart wrapping counts in `total`; the whole counts files only.
    photo->sent = std::min(photo->size, photo->size * std::min(sent, total) / total);
    later();
}

void FilingProgress::photoStored(const QString &hash)
{
    const auto photo = m_photos.find(hash);
    if (photo == m_photos.end() || photo->stored)
        return;
    photo->stored = true;
    ++m_stored;
    // A count moves seldom and is told at once.
    tell();
}

void FilingProgress::askToStop()
{
    if (m_stage != Stage::Photos || m_stopping)
        return;
    m_stopping = true;
    tell();
    emit stopAsked();
}

void FilingProgress::recordGoing()
{
    setStage(Stage::Record);
}

void FilingProgress::end()
{
    setStage(Stage::Idle);
}

void FilingProgress::setStage(Stage stage)
{
    if (m_stage == stage)
        return;
    m_stage = stage;
    tell();
    emit stageChanged();
}

void FilingProgress::tell()
{
    m_untold = false;
    m_quiet.start();
    emit changed();
}

void FilingProgress::later()
{
    if (m_quiet.isActive())
        m_untold = true;
    else
        tell();
}

} // namespace orvelle
