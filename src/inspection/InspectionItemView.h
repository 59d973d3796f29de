#pragma once

#include "InspectionRecords.h"

#include <QAbstractListModel>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

// One item of the sheet being filled in: its judgement, the highlighted
// button and the description live here, not in a delegate, so nothing is
// lost when the list scrolls the item out of view.
class InspectionItemView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the sheet")
    Q_PROPERTY(QString title READ title CONSTANT)
    // true "合格", false "不合格", undefined neither.
    Q_PROPERTY(QVariant isQualified READ isQualifiedValue NOTIFY edited)
    Q_PROPERTY(bool showTextField READ showTextField NOTIFY edited)
    Q_PROPERTY(QString inputText READ inputText WRITE setInputText NOTIFY edited)
    Q_PROPERTY(qreal textEditorHeight READ textEditorHeight CONSTANT)

public:
    explicit InspectionItemView(const OnCheckitem &item, QObject *parent = nullptr);

    const OnCheckitem &item() const { return m_item; }
    const OnXCheckitem &itemx() const { return m_itemx; }
    QString title() const;
    std::optional<bool> isQualified() const { return m_isQualified; }
    QVariant isQualifiedValue() const;
    bool showTextField() const { return m_showTextField; }
    QString inputText() const { return m_inputText; }
    // Every edit reaches the submitted description at once.
    void setInputText(const QString &text);
    qreal textEditorHeight() const { return 100.0; }
    // Judged, or described.
    bool isTouched() const;

    // "合格": the description is kept for a change of mind.
    Q_INVOKABLE void qualify();
    // "不合格": opens the description, with a default text only when the
    // inspector has written none.
    Q_INVOKABLE void disqualify();

signals:
    // Judged, or its description typed: the three move together.
    void edited();

private:
    OnCheckitem m_item;
    OnXCheckitem m_itemx;
    std::optional<bool> m_isQualified;
    bool m_showTextField = false;
    QString m_inputText;
};

// The sheet's items for its ListView: one role, the item's view.
class InspectionItemListModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by the sheet")

public:
    enum Role { ItemViewRole = Qt::UserRole + 1 };
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_blank.size()); }
    // The item's view, made the first time the row is shown or judged.
    InspectionItemView *at(int row) const;
    // Each item as it stands, in order; an item never shown is as loaded.
    QList<OnXCheckitem> itemxs() const;
    // Judged or described anywhere.
    bool isTouched() const;
    // Replaces every item with a fresh one per blank item.
    void reset(const QList<OnCheckitem> &blank);

signals:
    // Some item was judged or its description edited.
    void itemChanged();

private:
    QList<OnCheckitem> m_blank;
    // A large sheet makes its item views only for the rows that are used.
    mutable QList<InspectionItemView *> m_items;
};

} // namespace orvelle
