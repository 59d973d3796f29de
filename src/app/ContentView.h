#pragma once

#include "HomeView.h"
#include "SettingsView.h"
#include "account/VersionChecker.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

struct AppContext;

// The main screen: tabs "首页" and "设置". Rebuilt at every sign-in, so the tab
// and the home flags start afresh.
class ContentView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by RootView")
    Q_PROPERTY(int selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
    Q_PROPERTY(QString title READ title NOTIFY selectedTabChanged)
    Q_PROPERTY(HomeView *homeView READ homeView CONSTANT)
    Q_PROPERTY(SettingsView *settingsView READ settingsView CONSTANT)
    Q_PROPERTY(VersionChecker *versionChecker READ versionChecker CONSTANT)

public:
    explicit ContentView(AppContext &context, QObject *parent = nullptr);

    int selectedTab() const { return m_selectedTab; }
    void setSelectedTab(int tab);
    QString title() const;
    HomeView *homeView() const { return m_homeView; }
    SettingsView *settingsView() const { return m_settingsView; }
    VersionChecker *versionChecker() const { return &m_versionChecker; }

    // Each time the screen is shown: the version check runs.
    Q_INVOKABLE void appeared();

signals:
    void selectedTabChanged();

private:
    VersionChecker &m_versionChecker;
    int m_selectedTab = 0;
    HomeView *m_homeView;
    SettingsView *m_settingsView;
};

} // namespace orvelle
