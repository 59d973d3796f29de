#include "OutboxView.h"

#include "AccountWork.h"
#include "outbox/Outbox.h"
#include "outbox/OutboxEntries.h"
#include "session/Session.h"

namespace orvelle {

QHash<int, QByteArray> OutboxView::Rows::roleNames() const
{
    // Fixed, so a list made before the outbox runs knows them: an item's own
    // "state" is not the entry's.
    using Role = OutboxEntries::Role;
    return {{Role::IdRole, "entryId"},          {Role::TitleRole, "title"},
            {Role::TimeRole, "time"},           {Role::StateRole, "stateText"},
            {Role::CanResendRole, "canResend"}, {Role::CanConfirmRole, "canConfirm"},
            {Role::CanEditRole, "canEdit"},     {Role::CanRemoveRole, "canRemove"}};
}

OutboxView::OutboxView(AccountWork &work, Session &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_rows(this)
{
    connect(&session, &Session::stateChanged, this, &OutboxView::update);
    connect(&work, &AccountWork::started, this, [this, &work] { follow(work.outbox()); });
    follow(work.outbox());
}

void OutboxView::follow(Outbox *outbox)
{
    if (outbox && outbox != m_outbox) {
        m_outbox = outbox;
        m_rows.setSourceModel(new OutboxEntries(*outbox, this));
        connect(outbox, &Outbox::changed, this, &OutboxView::update);
    }
    update();
}

void OutboxView::update()
{
    const int count = m_outbox ? m_outbox->waitingCount() : 0;
    const bool ended = m_session.state() == Session::State::Ended;
    const QString problem = m_outbox ? m_outbox->problem() : QString();
    if (count == m_count && ended == m_signInEnded && problem == m_problem)
        return;
    m_count = count;
    m_signInEnded = ended;
    m_problem = problem;
    emit waitingChanged();
}

QString OutboxView::summary() const
{
    const QString waiting = QStringLiteral("待上传 %1").arg(m_count);
    if (!m_signInEnded)
        return waiting;
    return QStringLiteral("登录已失效，重新登录后上传")
           + (m_count > 0 ? QStringLiteral("（%1）").arg(waiting) : QString());
}

void OutboxView::retry()
{
    if (m_outbox)
        m_outbox->retry();
}

void OutboxView::resend(qint64 id)
{
    if (m_outbox)
        m_outbox->resend(id);
}

std::optional<OutboxEntry> OutboxView::entry(qint64 id) const
{
    if (m_outbox)
        for (const OutboxEntry &entry : m_outbox->entries())
            if (entry.id == id)
                return entry;
    return std::nullopt;
}

void OutboxView::ask(const QString &question, std::function<void()> onYes)
{
    m_question = question;
    m_onYes = std::move(onYes);
    emit questionChanged();
}

void OutboxView::answer(bool yes)
{
    if (m_question.isEmpty())
        return;
    const auto onYes = std::exchange(m_onYes, {});
    m_question.clear();
    emit questionChanged();
    if (yes && onYes)
        onYes();
}

void OutboxView::remove(qint64 id)
{
    const auto found = entry(id);
    if (!found || !m_outbox->canRemove(*found))
        return;
    const QString maybe = found->state == OutboxState::MaybeDelivered
                              ? QStringLiteral("它可能已经提交；")
                              : QString();
    ask(QStringLiteral("确定删除“%1”吗？%2删除后不会再上传，照片也一并删除。")
            .arg(found->title, maybe),
        [this, id] { m_outbox->remove(id); });
}

void OutboxView::confirmDelivered(qint64 id)
{
    const auto found = entry(id);
    if (!found || !m_outbox->canConfirm(*found))
        return;
    ask(QStringLiteral("确认“%1”已经提交成功了吗？确认后它从待上传中移除，不再上传。")
            .arg(found->title),
        [this, id] { m_outbox->confirmDelivered(id); });
}

void OutboxView::edit(qint64 id)
{
    const auto found = entry(id);
    if (!found || !m_outbox->canEdit(*found))
        return;
    if (!m_outbox->edit(id))
        return m_alert.show(
            QStringLiteral("“%1”的表单还有一份未提交的草稿，请先提交或放弃它，再编辑这一条。")
                .arg(found->title));
    if (found->kind == QLatin1String("hazard"))
        return emit reportToEdit();
    m_alert.show(
        QStringLiteral("“%1”已转为草稿：请在“现场检查”中打开该检查点，拍照后选择“继续填写”。")
            .arg(found->title));
}

void OutboxView::signInAgain()
{
    // What waits stays with this account and goes at its next sign-in.
    if (m_signInEnded)
        m_session.signOut();
}

} // namespace orvelle
