#include "FormShell.h"

#include "session/Session.h"

#include <utility>

namespace orvelle {

FormShell::FormShell(FormServices &services, const Setup &setup, QObject *parent)
    : QObject(parent)
    , m_photos(services.cameras, services.filing.store, setup.photoLimit)
    , m_discardGuard(setup.discardQuestion)
    , m_draft(&services.filing.store, services.filing.session.account().storeKey(), setup.draftKey,
              [this] { return keep(); })
    , m_filing(services, m_draft, m_photos, m_alert)
{
    // Every change is kept on the device until the form is filed or let go.
    connect(this, &FormShell::edited, &m_draft, &FormDraft::touch);
    connect(&m_draft, &FormDraft::restored, this,
            [this](const QJsonObject &fields, const PhotoGroups &photos) {
                m_rules->restore(fields, photos);
            });
    connect(&m_filing, &FormFiling::changed, this, [this] {
        // The photos stay as they are while they upload.
        m_photos.setEditable(!isLoading());
        emit filingChanged();
    });
    connect(&m_filing, &FormFiling::closeRequested, this, &FormShell::closeRequested);
    connect(&m_discardGuard, &DiscardGuard::released, &m_draft, &FormDraft::finish);
    connect(&m_discardGuard, &DiscardGuard::released, this, &FormShell::closeRequested);
    connect(&m_photos, &PhotoAttachments::editingPhotos, this, [this] { setFocusedField({}); });
    // Whether the form counts as filled in follows the photos.
    connect(m_photos.selectedImages(), &PhotoListModel::countChanged, this, &FormShell::edited);
}

FormShell::~FormShell() = default;

void FormShell::setFocusedField(const QString &field)
{
    if (std::exchange(m_focusedField, field) != field)
        emit focusedFieldChanged();
}

void FormShell::file()
{
    m_filing.file(*m_rules);
}

void FormShell::goBack()
{
    if (canGoBack())
        m_discardGuard.leave(m_rules->isFilledIn() && !closing());
}

std::optional<FormDraft::Snapshot> FormShell::keep() const
{
    // While it is filed the form is kept whole, whatever it holds.
    if (!m_rules->isFilledIn() && !isLoading())
        return std::nullopt;
    return m_rules->snapshot();
}

} // namespace orvelle
