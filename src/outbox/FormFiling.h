#pragma once

#include "outbox/Delivery.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace orvelle {

class AlertState;
class CameraProvider;
class FormDraft;
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
};

// The road from "提交" or "上传" to its outcome, for every form: photos still
// being decoded are waited for, the form's checks run, the form is saved whole
// as a draft (its photos as files), then delivered: through the outbox for a
// signed-in account, directly otherwise. It always ends in one of four ways:
// delivered (the service's message; "确定" closes the form), refused or ended
// by the service (the form stays, its draft kept, with the message), or
// queued (the form closes; the outbox keeps it and the message says so).
class FormFiling : public QObject
{
    Q_OBJECT

public:
    // What the form decides.
    struct Rules
    {
        // The message of the first check that fails, "" when the form may go.
        std::function<QString()> validate;
        std::function<Submission()> submission;
    };

    FormFiling(FormServices &services, FormDraft &draft, PhotoAttachments &photos,
               AlertState &alert, Rules rules, QObject *parent = nullptr);

    // The progress covers the form and leaving is held off.
    bool isLoading() const { return m_loading; }
    // Filed or queued: "确定" of the message closes the form.
    bool closing() const { return m_closing; }
    void file();

    static QString queuedMessage();
    // The box text for the service's answer to a stored record: its "msg"
    // when that is text. A record the service stored is never shown as a
    // failure, however odd the rest of its answer.
    static QString storedMessage(const QJsonObject &answer);

signals:
    void changed();
    void closeRequested();

private:
    void setLoading(bool on);
    void fileKept();
    void fileThroughOutbox(const Submission &submission);
    void fileDirectly(const Submission &submission);
    void outboxAnswered(qint64 id, const delivery::Result &result);
    void directAnswered(const delivery::Result &result);
    void takeBack(qint64 id);
    void close(const QString &message);
    void stay(const QString &message);

    FormServices &m_services;
    FormDraft &m_draft;
    PhotoAttachments &m_photos;
    AlertState &m_alert;
    Rules m_rules;
    bool m_loading = false;
    bool m_closing = false;
};

} // namespace orvelle
