#pragma once

#include "core/AlertState.h"
#include "core/DiscardGuard.h"
#include "outbox/FormFiling.h"
#include "outbox/FormRules.h"
#include "photos/PhotoAttachments.h"
#include "store/FormDraft.h"

#include <QObject>
#include <optional>

namespace orvelle {

// The part every form shares: its photos, its draft, the filing road, the
// question before unsent work is thrown away, the message box, which input
// has the keyboard, and whether it is being filed. A form derives from it,
// sets its rules and adds its own fields.
class FormShell : public QObject
{
    Q_OBJECT
    Q_PROPERTY(orvelle::PhotoAttachments *photos READ photos CONSTANT)
    Q_PROPERTY(orvelle::AlertState *alert READ alert CONSTANT)
    Q_PROPERTY(orvelle::DiscardGuard *discardGuard READ discardGuard CONSTANT)
    Q_PROPERTY(QObject *draft READ draft CONSTANT)
    // How far a filing has come, and its "转入待上传".
    Q_PROPERTY(QObject *filing READ filing CONSTANT)
    Q_PROPERTY(bool hidesPlatformBack READ hidesPlatformBack CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY filingChanged)
    // Not while the photos and the record are on their way.
    Q_PROPERTY(bool canGoBack READ canGoBack NOTIFY filingChanged)
    // The objectName of the input that has the keyboard, "" when none has.
    Q_PROPERTY(
        QString focusedField READ focusedField WRITE setFocusedField NOTIFY focusedFieldChanged)

public:
    struct Setup
    {
        QString draftKey;
        // Asked before filled-in work is thrown away.
        QString discardQuestion;
        int photoLimit = PhotoAttachments::noAddTileLimit;
    };

    FormShell(FormServices &services, const Setup &setup, QObject *parent = nullptr);
    ~FormShell() override;

    // Set once by the form, before anything is filed or restored.
    void setRules(FormRules *rules) { m_rules = rules; }

    PhotoAttachments *photos() { return &m_photos; }
    const PhotoAttachments *photos() const { return &m_photos; }
    AlertState *alert() { return &m_alert; }
    DiscardGuard *discardGuard() { return &m_discardGuard; }
    FormDraft *draft() { return &m_draft; }
    FormFiling *filing() { return &m_filing; }
    bool hidesPlatformBack() const { return true; }
    bool isLoading() const { return m_filing.isLoading(); }
    bool canGoBack() const { return !isLoading(); }
    // Filed or queued: "确定" of the message closes the form.
    bool closing() const { return m_filing.closing(); }
    QString focusedField() const { return m_focusedField; }
    void setFocusedField(const QString &field);

    // "返回": asks first when something filled in would be lost.
    Q_INVOKABLE void goBack();

signals:
    // isLoading, canGoBack and closing.
    void filingChanged();
    void focusedFieldChanged();
    // What the user entered changed (not focus): kept as a draft.
    void edited();
    // Asks the screen that opened the form to close it.
    void closeRequested();

protected:
    // "上传" or "新增": the filing road, which asks the rules.
    void file();

private:
    std::optional<FormDraft::Snapshot> keep() const;

    FormRules *m_rules = nullptr;
    PhotoAttachments m_photos;
    AlertState m_alert;
    DiscardGuard m_discardGuard;
    FormDraft m_draft;
    FormFiling m_filing;
    QString m_focusedField;
};

} // namespace orvelle
