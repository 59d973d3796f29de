#include "Pilot.h"

#include "QuickItems.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlProperty>
#include <QThread>

Pilot::Pilot(QQuickWindow &window, int patience, int settlePatience)
    : m_window(window)
    , m_patience(patience)
    , m_settlePatience(settlePatience)
{
    m_clock.start();
}

bool Pilot::waitUntil(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        // Outside exec(), closed pages are deleted only when asked.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(10);
    }
    return true;
}

void Pilot::pause(int ms)
{
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

QQuickItem *Pilot::find(const QString &name) const
{
    return orvelle::quickitems::find(&m_window, name);
}

QQuickItem *Pilot::find(const QString &name, QObject *scope) const
{
    return scope ? orvelle::quickitems::find(scope, name) : nullptr;
}

QQuickItem *Pilot::waitFor(const QString &name, QObject *scope)
{
    QQuickItem *item = nullptr;
    if (scope && waitUntil([&] { return (item = find(name, scope)); }, m_patience))
        return item;
    m_lastMiss = QStringLiteral("\"%1\" never showed").arg(name);
    return nullptr;
}

bool Pilot::waitGone(const QString &name)
{
    if (waitUntil([&] { return !find(name); }, m_patience))
        return true;
    m_lastMiss = QStringLiteral("\"%1\" never went away").arg(name);
    return false;
}

bool Pilot::tap(QQuickItem *item)
{
    if (!item || !settled(item))
        return false;
    if (!waitUntil([&] { return orvelle::quickitems::tappable(item); }, m_patience)) {
        m_lastMiss =
            QStringLiteral("\"%1\" stayed disabled or under a popup").arg(item->objectName());
        return false;
    }
    click(item);
    return true;
}

bool Pilot::type(const QString &field, const QString &text)
{
    QQuickItem *item = waitFor(field);
    if (!tap(item))
        return false;
    if (!waitUntil([&] { return item->hasActiveFocus(); }, m_patience)) {
        m_lastMiss = QStringLiteral("\"%1\" took no focus").arg(field);
        return false;
    }
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent selectAll(type, Qt::Key_A, Qt::ControlModifier);
        QCoreApplication::sendEvent(&m_window, &selectAll);
    }
    // As an input method commits it, so Chinese arrives like ASCII.
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(m_window.focusObject(), &commit);
    return true;
}

bool Pilot::settled(QQuickItem *item)
{
    const bool still =
        orvelle::quickitems::settled(item, [this](const std::function<bool()> &done) {
            return waitUntil(done, m_settlePatience);
        });
    if (!still)
        m_lastMiss = QStringLiteral("an item never came to rest");
    return still;
}

bool Pilot::acknowledge(const QString &message)
{
    return waitFor(message) && tap(QStringLiteral("确定")) && waitGone(QStringLiteral("确定"));
}

bool Pilot::back(const QString &page, QObject *scope)
{
    return tap(QStringLiteral("返回"), scope) && waitGone(page);
}

QQuickItem *Pilot::row(QObject *page, int index)
{
    QQuickItem *list = waitFor(QStringLiteral("checkitems"), page);
    QQuickItem *item = nullptr;
    constexpr int contain = 4; // ListView.Contain
    if (list && index < 0)
        return QMetaObject::invokeMethod(list, "positionViewAtEnd") ? list : nullptr;
    if (list
        && QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, index),
                                     Q_ARG(int, contain)))
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item),
                                  Q_ARG(int, index));
    if (list && !item)
        m_lastMiss = QStringLiteral("row %1 of the list never showed").arg(index);
    return item;
}

bool Pilot::takePhoto()
{
    QQuickItem *camera = waitFor(QStringLiteral("CameraPicker"));
    // Below the page, whose title is "拍照" as well.
    QQuickItem *controls = camera ? camera->property("contentItem").value<QQuickItem *>() : nullptr;
    return controls && tap(QStringLiteral("拍照"), controls)
           && tap(QStringLiteral("使用照片"), controls) && waitGone(QStringLiteral("CameraPicker"));
}

bool Pilot::addPhotoByCamera()
{
    return tap(QStringLiteral("添加图片")) && tap(QStringLiteral("拍照")) && takePhoto();
}

bool Pilot::pick(const QString &choice)
{
    return tap(choice, waitFor(QStringLiteral("pickerChoices"))) && tap(QStringLiteral("完成"))
           && waitGone(QStringLiteral("pickerChoices"));
}

void Pilot::click(QQuickItem *item)
{
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    const QPointF global = m_window.mapToGlobal(centre);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, centre, centre, global, Qt::LeftButton, held, Qt::NoModifier);
        event.setTimestamp(ulong(m_clock.elapsed()));
        QCoreApplication::sendEvent(&m_window, &event);
        QCoreApplication::processEvents();
    }
}

void Pilot::flattenLayers()
{
    // Guarded: a layer switched off drops its effect item.
    QList<QPointer<QObject>> pending{m_window.contentItem()};
    while (!pending.isEmpty()) {
        auto *item = qobject_cast<QQuickItem *>(pending.takeFirst());
        if (!item || orvelle::quickitems::isWebView(item))
            continue;
        for (QQuickItem *child : item->childItems())
            pending << child;
        QQmlProperty enabled(item, QStringLiteral("layer.enabled"));
        const QQmlProperty effect(item, QStringLiteral("layer.effect"));
        if (enabled.read().toBool() && effect.read().value<QQmlComponent *>())
            enabled.write(false);
    }
}

QImage Pilot::steadyFrame()
{
    flattenLayers();
    QImage last = m_window.grabWindow();
    for (int i = 0; i < 30; ++i) {
        pause(150);
        const QImage now = m_window.grabWindow();
        if (now == last)
            return now;
        last = now;
    }
    return last;
}

bool Pilot::isBlank(const QImage &image)
{
    if (image.isNull())
        return true;
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    const QRgb first = pixels.pixel(0, 0);
    qint64 other = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            other += line[x] != first;
    }
    // Less than a line of text in a different colour.
    return other < qint64(pixels.width()) * pixels.height() / 200;
}
