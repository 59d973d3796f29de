#pragma once

#include "InspectionItemDetailView.h"
#include "TaskListView.h"

#include <QPointer>

namespace orvelle {

// "今日检查": a picked check point opens the sheets submitted for it today.
class InspectionListView : public TaskListView
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home menu")
    Q_PROPERTY(QString Key READ keyText NOTIFY changed)
    Q_PROPERTY(bool navigateToDetail READ navigateToDetail WRITE setNavigateToDetail NOTIFY changed)
    Q_PROPERTY(InspectionItemDetailView *detailView READ detailView NOTIFY changed)

public:
    InspectionListView(ServiceClient &client, const AppConfig &config, User &user,
                       CameraProvider &cameras, Beeper &beeper, QObject *parent = nullptr);
    ~InspectionListView() override;

    const std::optional<QString> &Key() const { return m_key; }
    QString keyText() const { return m_key.value_or(QString()); }
    bool navigateToDetail() const { return m_navigateToDetail; }
    // Raising it opens a fresh record list for `Key`; lowering it (going
    // back) closes that and reloads this list.
    void setNavigateToDetail(bool on);
    InspectionItemDetailView *detailView() const { return m_detail; }

    void pick(int row) override;

protected:
    void keyScanned(const QString &key) override;

private:
    std::optional<QString> m_key;
    bool m_navigateToDetail = false;
    // Kept after closing until the next opening: its page may still be
    // leaving the stack and reading it.
    QPointer<InspectionItemDetailView> m_detail;
};

} // namespace orvelle
