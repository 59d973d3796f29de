#pragma once

#include "core/Scheduler.h"
#include "outbox/Delivery.h"
#include "outbox/FilingProgress.h"

#include <QObject>
#include <QPointer>
#include <chrono>

namespace orvelle {

class AlertState;
class CameraProvider;
class FormDraft;
class FormRules;
class Outbox;
class PhotoAttachments;

// What a form is built with besides its own rules.
struct FormServices
{
    FilingServices filing;
    // None when the device store could not be opened: forms file directly.
    Outbox *outbox = nullptr;
    CameraProvider &cameras;
    QString notesServer;
    Scheduler *scheduler = &Scheduler::system();
};

// The road from "提交" or "上传" to its outcome, for every form: photos still
// being decoded are waited for, the form's checks run, the form is saved whole
// as a draft (its photos as files), then delivered: through the outbox for a
// signed-in account, directly otherwise. It always ends in one of four ways:
// delivered (the service's message; "确定" closes the form), refused or ended
// by the service (the form stays, its draft kept, with the message), or
// queued (the form closes; the outbox keeps it and the message says so).
// While photos go the form shows how far they are, and after a while offers
// to leave them to the outbox.
class FormFiling : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *progress READ progress CONSTANT)
    Q_PROPERTY(bool canMoveToOutbox READ canMoveToOutbox NOTIFY offerChanged)

public:
    // Photo upload this long, and the form offers "转入待上传".
    static constexpr std::chrono::seconds offerAfter{5};

    FormFiling(FormServices &services, FormDraft &draft, PhotoAttachments &photos,
               AlertState &alert, QObject *parent = nullptr);

    // The progress covers the form and leaving is held off.
    bool isLoading() const { return m_loading; }
    // Filed or queued: "确定" of the message closes the form.
    bool closing() const { return m_closing; }
    void file(const FormRules &rules);
    FilingProgress *progress() { return &m_progress; }
    // Only while photos go through the outbox: once the record is on its way
    // its answer decides.
    bool canMoveToOutbox() const;
    // "转入待上传": a photo still sending its body is dropped, one whose body
    // went is waited for, those stored keep their addresses, and the outbox
    // sends the rest later.
    Q_INVOKABLE void moveToOutbox();

    static QString queuedMessage();
    // The box text for the service's answer to a stored record: its "msg"
    // when that is text. A record the service stored is never shown as a
    // failure, however odd the rest of its answer.
    static QString storedMessage(const QJsonObject &answer);

signals:
    void changed();
    void offerChanged();
    void closeRequested();

private:
    void setLoading(bool on);
    void fileKept(const Submission &submission);
    void fileThroughOutbox(const Submission &submission);
    void fileDirectly(const Submission &submission);
    void outboxAnswered(qint64 id, const Delivery::Result &result);
    void directAnswered(const Delivery::Result &result);
    void takeBack(qint64 id);
    void close(const QString &message);
    void stay(const QString &message);
    void stageChanged();

    FormServices &m_services;
    FormDraft &m_draft;
    PhotoAttachments &m_photos;
    AlertState &m_alert;
    bool m_loading = false;
    bool m_closing = false;
    FilingProgress m_progress;
    bool m_throughOutbox = false;
    bool m_offerDue = false;
    bool m_movingToOutbox = false;
    int m_photoRuns = 0; // an offer due for an earlier run is dropped
};

} // namespace orvelle
