#include "FormFiling.h"

#include "store/FormDraft.h"

namespace orvelle {

FormFiling::FormFiling(FormDraft &draft, QObject *parent)
    : QObject(parent)
    , m_draft(draft)
{}

void FormFiling::setOutbox(Outbox *outbox)
{
    if (m_outbox)
        disconnect(m_outbox, nullptr, this, nullptr);
    m_outbox = outbox;
    if (!outbox)
        return;
    connect(outbox, &Outbox::delivered, this, [this](qint64 id, const QJsonObject &answer) {
        if (id != m_entry)
            return;
        m_entry = 0;
        emit delivered(answer);
    });
    connect(outbox, &Outbox::photosFailed, this, [this](qint64 id) {
        if (id != m_entry)
            return;
        m_entry = 0;
        emit queued(QStringLiteral("上传失败，请重试。"));
    });
    connect(outbox, &Outbox::recordFailed, this, [this](qint64 id, const ServiceFailure &failure) {
        if (id != m_entry)
            return;
        m_entry = 0;
        if (!Outbox::isRefusal(failure))
            return emit queued(failure.message);
        // The inspector may mend what the service refused and file it again.
        m_outbox->withdraw(id);
        m_draft.resume();
        emit refused(failure.message);
    });
}

void FormFiling::file(Submission submission, std::function<void()> direct)
{
    if (!m_outbox)
        return direct();
    m_draft.saveWhole(
        [this, submission = std::move(submission), direct = std::move(direct)](bool kept) {
            if (kept && m_outbox)
                m_entry = m_outbox->submit(submission);
            if (!m_entry)
                return direct();
            // The entry holds the form now; no draft is kept beside it.
            m_draft.finish();
        });
}

} // namespace orvelle
