#include "FormFiling.h"

#include "core/AlertState.h"
#include "core/Logging.h"
#include "outbox/FormRules.h"
#include "outbox/Outbox.h"
#include "photos/PhotoAttachments.h"
#include "session/Session.h"
#include "store/FormDraft.h"

namespace orvelle {

namespace {
const QString photosFailedMessage = QStringLiteral("上传失败，请重试。");
const QString noSpaceMessage = QStringLiteral("存储空间不足，无法保存，请清理手机存储后重试");
const QString mayHaveArrivedMessage =
    QStringLiteral("网络中断，无法确认是否已提交，已保存到待上传，可在首页查看。");
const QString storeFailedMessage = QStringLiteral(
    "已保存到待上传，但手机存储无法写入，上传已暂停。请清理手机存储空间后在首页点“重试”。");
const QString sessionChangedMessage =
    QStringLiteral("登录状态已变化，已保存到待上传，该账号再次登录后自动上传。");
const QString movedMessage =
    QStringLiteral("已转入待上传，已上传的照片不再重传，其余稍后自动上传，可在首页查看。");
} // namespace

FormFiling::FormFiling(FormServices &services, FormDraft &draft, PhotoAttachments &photos,
                       AlertState &alert, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_draft(draft)
    , m_photos(photos)
    , m_alert(alert)
{
    connect(&m_alert, &AlertState::acknowledged, this, [this] {
        if (m_closing)
            emit closeRequested();
    });
    connect(&m_progress, &FilingProgress::stageChanged, this, &FormFiling::stageChanged);
}

bool FormFiling::canMoveToOutbox() const
{
    return m_throughOutbox && m_offerDue && !m_closing && !m_progress.stopping()
           && m_progress.stage() == FilingProgress::Stage::Photos;
}

void FormFiling::moveToOutbox()
{
    if (!canMoveToOutbox())
        return;
    m_movingToOutbox = true;
    m_progress.askToStop();
    emit offerChanged();
}

void FormFiling::stageChanged()
{
    if (m_progress.stage() == FilingProgress::Stage::Photos) {
        m_offerDue = false;
        m_services.scheduler->runAfter(offerAfter, this, [this, run = ++m_photoRuns] {
            m_offerDue = run == m_photoRuns;
            emit offerChanged();
        });
    }
    emit offerChanged();
}

QString FormFiling::queuedMessage()
{
    return QStringLiteral("网络不可用，已保存到待上传，联网后自动上传。");
}

QString FormFiling::storedMessage(const QJsonObject &answer)
{
    const QJsonValue msg = answer.value(QLatin1String("msg"));
    return msg.isString() ? msg.toString() : QString();
}

void FormFiling::setLoading(bool on)
{
    if (m_loading == on)
        return;
    m_loading = on;
    emit changed();
}

void FormFiling::file(const FormRules &rules)
{
    if (m_loading || m_closing)
        return;
    if (m_photos.loadingPhotos()) {
        // It goes on once the photos still being stored are in.
        setLoading(true);
        return m_photos.whenPhotosLoaded([this, &rules] {
            setLoading(false);
            file(rules);
        });
    }
    if (const QString problem = rules.validate(); !problem.isEmpty())
        return m_alert.show(problem);
    setLoading(true);
    // The saved draft is what is filed: its photos are the files it names.
    if (!m_draft.save())
        return stay(m_draft.lacksSpace() ? noSpaceMessage : photosFailedMessage);
    fileKept(rules.submission());
}

void FormFiling::fileKept(const Submission &submission)
{
    const bool signedIn = m_services.filing.session.state() == Session::State::SignedIn;
    if (m_services.outbox && signedIn)
        return fileThroughOutbox(submission);
    // A guest, or a sign-in the service ended: the online road, nothing queued.
    fileDirectly(submission);
}

void FormFiling::fileThroughOutbox(const Submission &submission)
{
    m_throughOutbox = true;
    m_movingToOutbox = false;
    const bool queued = m_services.outbox->file(
        submission, this,
        [this](qint64 id, const Delivery::Result &result) { outboxAnswered(id, result); },
        &m_progress);
    if (!queued)
        return fileDirectly(submission);
    // The entry holds the form now; no draft is kept beside it.
    m_draft.finish();
}

void FormFiling::fileDirectly(const Submission &submission)
{
    m_throughOutbox = false;
    Delivery::run(
        m_services.filing, Parcel::direct(submission, m_draft.savedPhotos()), this,
        [this](const Delivery::Result &result) { directAnswered(result); }, &m_progress);
}

void FormFiling::outboxAnswered(qint64 id, const Delivery::Result &result)
{
    const ServiceFailure &failure = result.failure;
    switch (result.outcome) {
    case Delivery::Outcome::Delivered:
        return close(storedMessage(result.answer));
    case Delivery::Outcome::PhotosFailed:
        return close(m_movingToOutbox ? movedMessage : queuedMessage());
    case Delivery::Outcome::SessionChanged:
        return close(sessionChangedMessage);
    case Delivery::Outcome::StoreFailed:
        return close(storeFailedMessage);
    case Delivery::Outcome::PhotoDamaged:
        takeBack(id);
        return stay(Delivery::photoDamagedMessage());
    case Delivery::Outcome::PhotosRefused:
        takeBack(id);
        return stay(photosFailedMessage);
    case Delivery::Outcome::RecordFailed:
        if (failure.mayHaveArrived)
            return close(mayHaveArrivedMessage);
        if (failure.code == -2)
            return close(queuedMessage());
        // Refused, or the sign-in ended: the user may mend it and file again.
        takeBack(id);
        return stay(failure.message);
    }
}

void FormFiling::directAnswered(const Delivery::Result &result)
{
    switch (result.outcome) {
    case Delivery::Outcome::Delivered:
        m_draft.finish();
        return close(storedMessage(result.answer));
    case Delivery::Outcome::PhotosFailed:
    case Delivery::Outcome::PhotosRefused:
        return stay(photosFailedMessage);
    case Delivery::Outcome::SessionChanged:
        return stay(QStringLiteral("登录状态已变化，请重新提交。"));
    case Delivery::Outcome::StoreFailed: // only an entry of the outbox has marks
        return stay(photosFailedMessage);
    case Delivery::Outcome::PhotoDamaged:
        return stay(Delivery::photoDamagedMessage());
    case Delivery::Outcome::RecordFailed:
        return stay(result.failure.message);
    }
}

void FormFiling::takeBack(qint64 id)
{
    m_services.outbox->withdraw(id);
    m_draft.resume();
}

void FormFiling::close(const QString &message)
{
    m_closing = true;
    m_loading = false;
    emit changed();
    m_alert.show(message);
}

void FormFiling::stay(const QString &message)
{
    setLoading(false);
    m_alert.show(message);
}

} // namespace orvelle
