#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <memory>

namespace orvelle::test {

// Loads real QML pages offscreen, as the client does, and records every QML
// warning (binding errors, type errors, failed imports), so a test can insist
// on none.
class QmlPageFixture : public QObject
{
    Q_OBJECT

public:
    QmlPageFixture();
    ~QmlPageFixture() override;

    QQmlEngine &engine() { return *m_engine; }
    QQuickWindow &window() { return *m_window; }

    // Creates the component at `url` with its required properties. An Item is
    // placed in a shown window of phone size; a Window is shown as it is.
    // Returns null (and records why as a warning) when it cannot be created.
    QObject *load(const QUrl &url, const QVariantMap &properties = {});

    QStringList warnings() const { return m_warnings; }
    QString warningText() const { return m_warnings.join(QLatin1Char('\n')); }

    // The first object below `root` whose objectName or Accessible.name is
    // `name` and that is visible.
    static QQuickItem *findItem(QObject *root, const QString &name);
    // Clicks an item in its middle, as a finger would.
    static bool tap(QQuickItem *item);
    // Waits until the item stops moving: a tap during a sheet's or page's
    // entering transition lands beside it, or outside a sheet and closes it.
    static bool settled(QQuickItem *item);

private:
    void record(const QString &line) { m_warnings << line; }
    static void messageHandler(QtMsgType type, const QMessageLogContext &context,
                               const QString &message);

    std::unique_ptr<QQmlEngine> m_engine;
    std::unique_ptr<QQuickWindow> m_window;
    QList<QPointer<QObject>> m_created;
    QStringList m_warnings;
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace orvelle::test
