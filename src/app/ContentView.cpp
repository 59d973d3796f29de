#include "ContentView.h"

#include "AppContext.h"
#include "HomeView.h"
#include "SettingsView.h"
#include "account/VersionChecker.h"
#include "session/Session.h"

namespace orvelle {

ContentView::ContentView(AppContext &context, QObject *parent)
    : QObject(parent)
    , m_versionChecker(*context.versionChecker)
    , m_homeView(new HomeView(context, this))
    , m_settingsView(new SettingsView(
          *context.session, *context.serviceClient, [&context] { return context.outbox(); }, this))
{}

void ContentView::appeared()
{
    m_versionChecker.check();
}

void ContentView::setSelectedTab(int tab)
{
    if (m_selectedTab == tab)
        return;
    m_selectedTab = tab;
    emit selectedTabChanged();
}

QString ContentView::title() const
{
    switch (m_selectedTab) {
    case 0:
        return QStringLiteral("岚石集团欢迎您");
    case 1:
        return QStringLiteral("个人设定");
    default:
        return {};
    }
}

} // namespace orvelle
