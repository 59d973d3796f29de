#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

namespace orvelle {

// How far one delivery has come: the photos in the file store out of all it
// carries, their bytes out of the whole, then the record on its way. Those
// who watch are told a few times a second at most, however often the
// network reports, so showing it costs the GUI thread next to nothing.
class FilingProgress : public QObject
{
    Q_OBJECT
    // "上传照片 3/8", "提交检查表", "提交隐患", "正在转入待上传"; "" while nothing goes.
    Q_PROPERTY(QString step READ step NOTIFY changed)
    // The photo bytes sent of the whole, "" outside the photos.
    Q_PROPERTY(QString amount READ amount NOTIFY changed)
    // 0 to 1 over the photo bytes; -1 when there is no measure.
    Q_PROPERTY(double fraction READ fraction NOTIFY changed)

public:
    enum class Stage { Idle, Photos, Record };

    struct Photo
    {
        QString hash;
        qint64 size = 0;
        bool stored = false; // an earlier attempt stored it
    };

    explicit FilingProgress(QObject *parent = nullptr);

    Stage stage() const { return m_stage; }
    int photosStored() const { return m_stored; }
    int photoCount() const { return int(m_photos.size()); }
    qint64 bytesSent() const;
    qint64 bytesTotal() const { return m_total; }
    QString step() const;
    QString amount() const;
    double fraction() const;
    // The step and the amount in one line, as the outbox list shows it.
    QString summary() const;

    // `sheet`: the record is a check sheet, else a hazard report.
    void begin(bool sheet, const QList<Photo> &photos);
    void photoSending(const QString &hash, qint64 sent, qint64 total);
    void photoStored(const QString &hash);
    void recordGoing();
    void end();

    // Asks the delivery to stop at its next safe point; the step says so
    // until it has.
    void askToStop();
    bool stopping() const { return m_stopping; }

signals:
    void changed();
    // Photos began, the record went or it ended: told at once.
    void stageChanged();
    void stopAsked();

private:
    void setStage(Stage stage);
    void tell();
    void later();

    struct Sending
    {
        qint64 size = 0;
        qint64 sent = 0;
        bool stored = false;
    };

    Stage m_stage = Stage::Idle;
    bool m_sheet = false;
    bool m_stopping = false;
    QHash<QString, Sending> m_photos;
    int m_stored = 0;
    qint64 m_total = 0;
    QTimer m_quiet; // no second word before it runs out
    bool m_untold = false;
};

} // namespace orvelle
