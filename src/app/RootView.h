#pragma once

#include "ContentView.h"
#include "account/LoginView.h"
#include "core/AlertState.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

struct AppContext;

// Shows the sign-in screen until `islogin` of the app state is exactly "true",
// then the main tabs. Each switch builds the new screen from scratch. When the
// device folder must not be used (another client holds it, a newer client
// wrote it) neither is shown: only why.
class RootView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application")
    Q_PROPERTY(LoginView *loginView READ loginView NOTIFY screenChanged)
    Q_PROPERTY(ContentView *contentView READ contentView NOTIFY screenChanged)
    Q_PROPERTY(QString refusal READ refusal NOTIFY screenChanged)
    Q_PROPERTY(orvelle::AlertState *storeAlert READ storeAlert CONSTANT)

public:
    explicit RootView(AppContext &context, QObject *parent = nullptr);

    LoginView *loginView() const { return m_loginView; }
    ContentView *contentView() const { return m_contentView; }
    QString refusal() const;
    // A failed write of the account record.
    AlertState *storeAlert() { return &m_storeAlert; }

signals:
    void screenChanged();

private:
    void update();

    AppContext &m_context;
    QPointer<LoginView> m_loginView;
    QPointer<ContentView> m_contentView;
    AlertState m_storeAlert;
};

} // namespace orvelle
