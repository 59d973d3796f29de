#pragma once

#include "DeviceStore.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace orvelle {

// One form's draft in the device store. A change is saved a moment later
// (and at once before a request). Its photos are already in the store (the
// photo intake put them there), so a killed app finds the draft whole.
// A draft kept from before the form opened is offered: "继续填写" restores
// it, "放弃" (after a second question) throws it away.
class FormDraft : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool offered READ offered NOTIFY changed)
    Q_PROPERTY(bool confirmingDiscard READ confirmingDiscard NOTIFY changed)
    Q_PROPERTY(QString savedAtText READ savedAtText NOTIFY changed)
    // Said while the form cannot be kept: leaving or a killed app loses it.
    Q_PROPERTY(QString problem READ problem NOTIFY changed)

public:
    // The form as it stands: its fields and its photo groups, in order.
    struct Snapshot
    {
        QJsonObject fields;
        PhotoGroups photos;
    };
    // Nothing when the form holds nothing worth keeping.
    using Take = std::function<std::optional<Snapshot>()>;

    // Without a store (none could be opened) nothing is kept.
    FormDraft(DeviceStore *store, const QString &account, const QString &key, Take take,
              QObject *parent = nullptr);

    bool offered() const { return m_offered.has_value(); }
    bool confirmingDiscard() const { return m_confirmingDiscard; }
    // "今天 09:30", or the date for a draft of an earlier day.
    QString savedAtText() const;
    QString problem() const { return m_problem; }
    // The last save failed because the phone's storage is full.
    bool lacksSpace() const { return m_lacksSpace; }

    // The form changed: saved after a short pause.
    void touch();
    // Saves now; false when the form could not be kept.
    bool save();
    // The draft goes; the form keeps working (a new draft follows its next change).
    void remove();
    // The form was filed or left on purpose: the draft goes and nothing more is kept.
    void finish();
    // Filing did not take: the form is kept again from now on.
    void resume();
    // The photo files of the draft as last saved.
    PhotoGroups savedPhotos() const;

    // "继续填写": the form takes back its fields and photo hashes.
    Q_INVOKABLE void restore();
    // "放弃" of the offer asks again; its "放弃" throws the draft away.
    Q_INVOKABLE void discard();
    Q_INVOKABLE void cancelDiscard();

signals:
    void changed();
    void restored(const QJsonObject &fields, const PhotoGroups &photos);

private:
    void setProblem(const QString &problem);

    DeviceStore *m_store;
    QString m_account;
    QString m_key;
    Take m_take;
    QTimer m_pause;
    std::optional<Draft> m_offered;
    bool m_confirmingDiscard = false;
    bool m_finished = false;
    QString m_problem;
    bool m_lacksSpace = false;
};

} // namespace orvelle
