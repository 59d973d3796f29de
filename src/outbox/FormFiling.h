#pragma once

#include "outbox/Outbox.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace orvelle {

class FormDraft;

// Files one form through the outbox: its draft (photos included) is saved
// whole, moved into the outbox and sent ahead of the queue; the outcome is
// reported for this form's entry only.
class FormFiling : public QObject
{
    Q_OBJECT

public:
    explicit FormFiling(FormDraft &draft, QObject *parent = nullptr);

    // Without an outbox (no store could be opened) the form sends by itself.
    void setOutbox(Outbox *outbox);
    bool available() const { return !m_outbox.isNull(); }
    // `direct` runs instead when the draft could not be kept.
    void file(Submission submission, std::function<void()> direct);

signals:
    // The service filed it; `answer` is its whole answer.
    void delivered(const QJsonObject &answer);
    // Not delivered yet: the entry stays in the outbox, which sends it later.
    void queued(const QString &message);
    // The service refused it: the entry is withdrawn and the form is the draft again.
    void refused(const QString &message);

private:
    FormDraft &m_draft;
    QPointer<Outbox> m_outbox;
    qint64 m_entry = 0;
};

} // namespace orvelle
