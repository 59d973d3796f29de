#pragma once

#include "InspectionItemDetailView.h"
#include "TaskListView.h"

#include "core/ChildScreen.h"

namespace orvelle {

// "今日检查": a picked check point opens the sheets submitted for it today.
class InspectionListView : public TaskListView
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the home menu")
    Q_PROPERTY(QString Key READ keyText NOTIFY selectedKeyChanged)
    Q_PROPERTY(
        bool navigateToDetail READ navigateToDetail WRITE setNavigateToDetail NOTIFY detailChanged)
    Q_PROPERTY(InspectionItemDetailView *detailView READ detailView NOTIFY detailChanged)

public:
    InspectionListView(ServiceClient &client, const AppConfig &config, User &user,
                       CameraProvider &cameras, Beeper &beeper, QObject *parent = nullptr);
    ~InspectionListView() override;

    const std::optional<QString> &Key() const { return m_selectedKey; }
    QString keyText() const { return m_selectedKey.value_or(QString()); }
    bool navigateToDetail() const { return m_detail.isOpen(); }
    // Raising it opens a fresh record list for `Key`; lowering it (going
    // back) closes that and reloads this list.
    void setNavigateToDetail(bool on);
    InspectionItemDetailView *detailView() const { return m_detail.view(); }

signals:
    void detailChanged();

protected:
    void checkPointChosen() override { setNavigateToDetail(true); }

private:
    ChildScreen<InspectionItemDetailView> m_detail;
};

} // namespace orvelle
