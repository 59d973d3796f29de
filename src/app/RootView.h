#pragma once

#include "ContentView.h"
#include "account/LoginView.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace orvelle {

struct AppContext;

// Shows the sign-in screen until `islogin` of the app state is exactly "true",
// then the main tabs. Each switch builds the new screen from scratch.
class RootView : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application")
    Q_PROPERTY(LoginView *loginView READ loginView NOTIFY screenChanged)
    Q_PROPERTY(ContentView *contentView READ contentView NOTIFY screenChanged)
    Q_PROPERTY(bool showStoreAlert READ showStoreAlert NOTIFY storeAlertChanged)
    Q_PROPERTY(QString storeAlertMessage READ storeAlertMessage NOTIFY storeAlertChanged)

public:
    explicit RootView(AppContext &context, QObject *parent = nullptr);

    LoginView *loginView() const { return m_loginView; }
    ContentView *contentView() const { return m_contentView; }
    bool showStoreAlert() const { return m_showStoreAlert; }
    QString storeAlertMessage() const { return m_storeAlertMessage; }

    Q_INVOKABLE void acknowledgeStoreAlert();

signals:
    void screenChanged();
    void storeAlertChanged();

private:
    void update();
    void reportStoreFailure(const QString &message);

    AppContext &m_context;
    QPointer<LoginView> m_loginView;
    QPointer<ContentView> m_contentView;
    bool m_showStoreAlert = false;
    QString m_storeAlertMessage;
};

} // namespace orvelle
