#pragma once

#include "outbox/Delivery.h"
#include "store/FormDraft.h"

#include <QString>
#include <optional>

namespace orvelle {

// What a form decides; its shell does the rest.
class FormRules
{
public:
    virtual ~FormRules() = default;

    // The message of the first check that fails, "" when the form may be
    // filed. Changes nothing: it may be asked at any time.
    virtual QString validate() const = 0;
    // The record the form files as it stands.
    virtual Submission submission() const = 0;
    // Its fields and photo groups for the draft; nothing while it cannot be
    // kept (a sheet that never loaded).
    virtual std::optional<FormDraft::Snapshot> snapshot() const = 0;
    // Takes back what snapshot() gave.
    virtual void restore(const QJsonObject &fields, const PhotoGroups &photos) = 0;
    // Leaving would lose something the user entered.
    virtual bool isFilledIn() const = 0;
};

} // namespace orvelle
