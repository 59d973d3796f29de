#include "QuickItems.h"

#include <QPointer>
#include <QQmlContext>
#include <QQmlProperty>
#include <QQuickWindow>

namespace orvelle::quickitems {

namespace {
// What a screen reader would call the item; hidden from it, it has no name.
QString accessibleName(QQuickItem *item)
{
    QQmlContext *context = qmlContext(item);
    if (!context)
        return {};
    const auto read = [&](const char *name) {
        const QQmlProperty property(item, QLatin1String("Accessible.") + QLatin1String(name),
                                    context);
        return property.isValid() ? property.read() : QVariant();
    };
    return read("ignored").toBool() ? QString() : read("name").toString();
}
} // namespace

bool isWebView(QQuickItem *item)
{
    return item->inherits("QQuickWebEngineView");
}

namespace {
// Each visible item named `name` below root, in walk order, until `take` says enough.
void walk(QObject *root, const QString &name, const std::function<bool(QQuickItem *)> &take)
{
    if (!root)
        return;
    // Guarded: reading a property may make or drop objects (the web engine's).
    QList<QPointer<QObject>> pending{root};
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        pending = {window->contentItem()};
    while (!pending.isEmpty()) {
        QObject *object = pending.takeFirst();
        if (!object)
            continue;
        if (auto *item = qobject_cast<QQuickItem *>(object)) {
            if (item->isVisible() && (item->objectName() == name || accessibleName(item) == name)
                && !take(item))
                return;
            if (isWebView(item))
                continue;
            for (QQuickItem *child : item->childItems())
                pending << child;
        }
        // Popups (dialogs, drawers) keep their content outside the item tree.
        for (QObject *child : object->children())
            if (!qobject_cast<QQuickItem *>(child))
                pending << child;
        if (auto *content = object->property("contentItem").value<QQuickItem *>();
            content && !qobject_cast<QQuickItem *>(object))
            pending << content;
    }
}
} // namespace

QQuickItem *find(QObject *root, const QString &name)
{
    QQuickItem *found = nullptr;
    walk(root, name, [&found](QQuickItem *item) {
        found = item;
        return false;
    });
    return found;
}

QList<QQuickItem *> findAll(QObject *root, const QString &name)
{
    QList<QQuickItem *> found;
    walk(root, name, [&found](QQuickItem *item) {
        found << item;
        return true;
    });
    return found;
}

bool tappable(QQuickItem *item)
{
    if (!item || !item->window() || !item->isEnabled())
        return false;
    for (QQuickItem *overlay : item->window()->contentItem()->childItems()) {
        if (!overlay->inherits("QQuickOverlay"))
            continue;
        QQuickItem *top = nullptr;
        for (QQuickItem *child : overlay->childItems())
            if (child->isVisible() && (!top || child->z() >= top->z()))
                top = child;
        if (top && top != item && !top->isAncestorOf(item))
            return false;
    }
    return true;
}

bool settled(QQuickItem *item, const WaitUntil &waitUntil)
{
    // A list may drop the delegate meanwhile: then it never settles.
    const QPointer<QQuickItem> watched(item);
    QRectF last;
    int unchanged = 0;
    return waitUntil([&] {
               if (!watched)
                   return false;
               const QRectF now = watched->mapRectToScene(watched->boundingRect());
               unchanged = now == last ? unchanged + 1 : 0;
               last = now;
               return unchanged >= 5;
           })
           && watched;
}

} // namespace orvelle::quickitems
