#include "QRCodeScannerView.h"

#include "Beeper.h"
#include "Camera.h"
#include "ImageFiles.h"
#include "core/Logging.h"

#include <QImageReader>
#include <QtConcurrent>

namespace orvelle {

QRCodeScannerView::QRCodeScannerView(CameraProvider &cameras, Beeper &beeper, QObject *parent)
    : QObject(parent)
    , m_beeper(beeper)
    , m_camera(cameras.open())
{
    connect(&m_frames, &QrFrameScanner::codeFound, this, &QRCodeScannerView::found);
}

QRCodeScannerView::~QRCodeScannerView()
{
    if (m_camera)
        m_camera->stop();
}

void QRCodeScannerView::setVideoSink(QObject *sink)
{
    if (m_sink == sink)
        return;
    m_sink = sink;
    m_frames.setVideoSink(sink);
    if (m_camera) {
        m_camera->setVideoSink(sink);
        if (sink)
            m_camera->start();
        else
            m_camera->stop();
    }
    emit changed();
}

void QRCodeScannerView::decodeFile(const QUrl &file)
{
    const QString path = localImagePath(file);
    if (path.isEmpty())
        return;
    m_fileWithoutCode = false;
    m_fileLoad = std::make_unique<QFutureWatcher<QrReading>>();
    connect(m_fileLoad.get(), &QFutureWatcherBase::finished, this, [this] {
        const QrReading reading = m_fileLoad->result();
        m_fileLoad.release()->deleteLater();
        if (!reading.problem.isEmpty())
            qCDebug(lcScan) << "Unreadable image file:" << reading.problem;
        m_fileWithoutCode = !reading.text;
        emit changed();
        if (reading.text)
            found(*reading.text);
    });
    m_fileLoad->setFuture(QtConcurrent::run([path] {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        return decodeQr(reader.read());
    }));
    emit changed();
}

void QRCodeScannerView::found(const QString &text)
{
    m_beeper.beep();
    emit didFindCode(text);
}

} // namespace orvelle
