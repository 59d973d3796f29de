#include "FormDraft.h"

#include "core/Logging.h"

#include <QLocale>
#include <chrono>
#include <utility>

using namespace std::chrono_literals;

namespace orvelle {

FormDraft::FormDraft(DeviceStore *store, const QString &account, const QString &key, Take take,
                     QObject *parent)
    : QObject(parent)
    , m_store(store && store->isOpen() ? store : nullptr)
    , m_account(account)
    , m_key(key)
    , m_take(std::move(take))
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(300ms);
    connect(&m_pause, &QTimer::timeout, this, &FormDraft::save);
    if (m_store)
        m_offered = m_store->loadDraft(m_account, m_key);
}

QString FormDraft::savedAtText() const
{
    if (!m_offered)
        return {};
    const QDateTime saved = m_offered->savedAt.toLocalTime();
    const QDate today = QDate::currentDate();
    // A sheet of another day is another round: the date must stand out.
    const QString format = saved.date() == today ? QStringLiteral("今天 HH:mm")
                           : saved.date().year() == today.year()
                               ? QStringLiteral("M月d日 HH:mm")
                               : QStringLiteral("yyyy年M月d日 HH:mm");
    return QLocale(QLocale::Chinese).toString(saved, format);
}

void FormDraft::setProblem(const QString &problem)
{
    if (std::exchange(m_problem, problem) != problem)
        emit changed();
}

void FormDraft::touch()
{
    if (m_store && !m_offered && !m_finished)
        m_pause.start();
}

bool FormDraft::save()
{
    m_pause.stop();
    // An offered draft stays as it was until the user has chosen.
    if (!m_store || m_offered || m_finished)
        return false;
    const std::optional<Snapshot> snapshot = m_take();
    if (!snapshot) {
        remove();
        return false;
    }
    const bool saved =
        m_store->saveDraft({m_account, m_key, snapshot->fields, snapshot->photos, {}});
    if (!saved)
        qCWarning(lcStore) << "draft" << m_key << "not saved:" << m_store->errorString();
    m_lacksSpace = !saved && m_store->failure() == DeviceStore::Failure::NoSpace;
    const QString why = m_lacksSpace ? QStringLiteral("手机存储空间不足") : m_store->errorString();
    setProblem(
        saved ? QString()
              : QStringLiteral("草稿无法保存到手机（%1），离开本页或退出客户端将丢失已填写的内容。")
                    .arg(why));
    return saved;
}

void FormDraft::remove()
{
    m_pause.stop();
    if (m_store && !m_store->removeDraft(m_account, m_key))
        qCDebug(lcStore) << "draft" << m_key << "not removed:" << m_store->errorString();
}

void FormDraft::finish()
{
    m_finished = true;
    remove();
}

void FormDraft::resume()
{
    m_finished = false;
    save();
}

PhotoGroups FormDraft::savedPhotos() const
{
    const auto draft = m_store ? m_store->loadDraft(m_account, m_key) : std::nullopt;
    return draft ? draft->photos : PhotoGroups();
}

void FormDraft::restore()
{
    if (!m_offered)
        return;
    const Draft draft = *std::exchange(m_offered, std::nullopt);
    emit changed();
    emit restored(draft.payload, draft.photos);
}

void FormDraft::discard()
{
    if (!m_offered)
        return;
    if (!m_confirmingDiscard) {
        m_confirmingDiscard = true;
        emit changed();
        return;
    }
    m_confirmingDiscard = false;
    m_offered.reset();
    remove();
    emit changed();
}

void FormDraft::cancelDiscard()
{
    if (!m_confirmingDiscard)
        return;
    m_confirmingDiscard = false;
    emit changed();
}

} // namespace orvelle
