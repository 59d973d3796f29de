#pragma once

#include "core/AlertState.h"

#include <QAbstractItemModel>
#include <QIdentityProxyModel>
#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <functional>
#include <optional>

namespace orvelle {

class AccountWork;
class Outbox;
class Session;
struct OutboxEntry;

// Filed sheets and reports the service has not confirmed yet, as the user
// sees and handles them: what waits, why nothing goes, and the user's word
// on one entry (asked first when it loses something).
class OutboxView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by HomeView")
    // Rows with the roles entryId, title, time, stateText, canResend,
    // canConfirm, canEdit and canRemove; empty until the outbox runs.
    Q_PROPERTY(QAbstractItemModel *entries READ entries CONSTANT)
    // The row on home and the head of the outbox page.
    Q_PROPERTY(int count READ count NOTIFY waitingChanged)
    // The service ended the sign-in: nothing goes until the user signs in again.
    Q_PROPERTY(bool signInEnded READ signInEnded NOTIFY waitingChanged)
    Q_PROPERTY(QString summary READ summary NOTIFY waitingChanged)
    // The outbox stopped because the device store could not be written.
    Q_PROPERTY(QString problem READ problem NOTIFY waitingChanged)
    // A question before an action that loses something; "" when none.
    Q_PROPERTY(QString question READ question NOTIFY questionChanged)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)

public:
    OutboxView(AccountWork &work, Session &session, QObject *parent = nullptr);

    int count() const { return m_count; }
    bool signInEnded() const { return m_signInEnded; }
    QString summary() const;
    QString problem() const { return m_problem; }
    QAbstractItemModel *entries() { return &m_rows; }
    QString question() const { return m_question; }
    AlertState *alert() { return &m_alert; }

    // "重试": sends what waits now; after a store failure, tries the store again.
    Q_INVOKABLE void retry();
    // "再次提交" of a report that may have arrived: the user says it did not.
    Q_INVOKABLE void resend(qint64 id);
    // "删除" and "已提交": asked first, done on `answer(true)`.
    Q_INVOKABLE void remove(qint64 id);
    Q_INVOKABLE void confirmDelivered(qint64 id);
    Q_INVOKABLE void answer(bool yes);
    // "编辑": the entry becomes its form's draft again; a report's form opens
    // offering it, a sheet is offered at its check point.
    Q_INVOKABLE void edit(qint64 id);
    // "重新登录" once the service ended the sign-in: back to the sign-in
    // screen, keeping every draft and waiting entry.
    Q_INVOKABLE void signInAgain();

signals:
    void waitingChanged();
    void questionChanged();
    // A report became its form's draft again: the form is to open.
    void reportToEdit();

private:
    // The waiting figures, read again when the outbox or the session changed.
    void update();
    void follow(Outbox *outbox);
    std::optional<OutboxEntry> entry(qint64 id) const;
    void ask(const QString &question, std::function<void()> onYes);

    // The entries' rows, their state under a name a delegate can declare.
    class Rows : public QIdentityProxyModel
    {
    public:
        using QIdentityProxyModel::QIdentityProxyModel;
        QHash<int, QByteArray> roleNames() const override;
    };

    Session &m_session;
    Outbox *m_outbox = nullptr;
    Rows m_rows;
    AlertState m_alert;
    int m_count = 0;
    bool m_signInEnded = false;
    QString m_problem;
    QString m_question;
    std::function<void()> m_onYes;
};

} // namespace orvelle
