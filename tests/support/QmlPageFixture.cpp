#include "QmlPageFixture.h"

#include "QuickItems.h"

#include <QQmlComponent>
#include <QQmlError>
#include <QTest>

namespace orvelle::test {

namespace {
QmlPageFixture *activeFixture = nullptr;

bool isQmlMessage(const QMessageLogContext &context, const QString &message)
{
    const QByteArray category = context.category ? QByteArray(context.category) : QByteArray();
    return category.startsWith("qml") || category.startsWith("js") || category.startsWith("qt.qml")
           || message.contains(QLatin1String("qrc:/")) || message.contains(QLatin1String(".qml:"));
}
} // namespace

QmlPageFixture::QmlPageFixture()
    : m_engine(std::make_unique<QQmlEngine>())
    , m_window(std::make_unique<QQuickWindow>())
{
    // The static QML modules register their files under qrc:/.
    m_engine->addImportPath(QStringLiteral("qrc:/"));
    connect(m_engine.get(), &QQmlEngine::warnings, this, [this](const QList<QQmlError> &errors) {
        for (const QQmlError &error : errors)
            record(error.toString());
    });
    activeFixture = this;
    m_previousHandler = qInstallMessageHandler(&QmlPageFixture::messageHandler);
    m_window->resize(420, 800);
}

QmlPageFixture::~QmlPageFixture()
{
    qInstallMessageHandler(m_previousHandler);
    activeFixture = nullptr;
    for (const auto &object : std::as_const(m_created))
        delete object.data();
    m_window.reset();
    m_engine.reset();
}

void QmlPageFixture::messageHandler(QtMsgType type, const QMessageLogContext &context,
                                    const QString &message)
{
    if (activeFixture && type != QtDebugMsg && type != QtInfoMsg && isQmlMessage(context, message))
        activeFixture->record(message);
    if (activeFixture && activeFixture->m_previousHandler)
        activeFixture->m_previousHandler(type, context, message);
}

QObject *QmlPageFixture::load(const QUrl &url, const QVariantMap &properties)
{
    QQmlComponent component(m_engine.get(), url);
    QObject *object =
        component.isError() ? nullptr : component.createWithInitialProperties(properties);
    if (!object) {
        for (const QQmlError &error : component.errors())
            record(error.toString());
        return nullptr;
    }
    m_created << object;
    auto *window = qobject_cast<QQuickWindow *>(object);
    if (auto *item = qobject_cast<QQuickItem *>(object)) {
        item->setParentItem(m_window->contentItem());
        item->setSize(m_window->size());
        window = m_window.get();
    }
    if (window) {
        window->show();
        // Text fields take the focus only in the active window.
        window->requestActivate();
        if (!QTest::qWaitForWindowActive(window))
            record(QStringLiteral("the window was never activated"));
    }
    return object;
}

bool QmlPageFixture::settled(QQuickItem *item)
{
    return quickitems::settled(
        item, [](const std::function<bool()> &done) { return QTest::qWaitFor(done, 20000); });
}

QQuickItem *QmlPageFixture::findItem(QObject *root, const QString &name)
{
    return quickitems::find(root, name);
}

bool QmlPageFixture::tap(QQuickItem *item)
{
    if (!item || !item->window())
        return false;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(item->window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

} // namespace orvelle::test
