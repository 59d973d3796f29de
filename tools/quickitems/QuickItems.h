#pragma once

#include <QQuickItem>
#include <QString>
#include <functional>

// Finding and reaching the client's items as a finger would, for the page
// tests and the screenshot walk alike.
namespace orvelle::quickitems {

// The web engine's own items come from code built without RTTI, which the
// sanitizers cannot check: walks stop at a web view, below which nothing of
// ours lies.
bool isWebView(QQuickItem *item);

// The first visible item below `root` (a window or any object, popups
// included) whose objectName, or the name a screen reader would give it, is `name`.
QQuickItem *find(QObject *root, const QString &name);
// Every such item, in the same order.
QList<QQuickItem *> findAll(QObject *root, const QString &name);

// Whether a finger's tap would reach the item now: false while it is
// disabled (a form still loading), or while a modal popup on screen, or
// still fading out, lies over it and would take the tap.
bool tappable(QQuickItem *item);

// Runs the caller's event loop until `done` holds; false when it gave up.
using WaitUntil = std::function<bool(const std::function<bool()> &done)>;

// Waits until the item stops moving (page and sheet transitions): a tap
// during one lands beside it. False when the item went away meanwhile.
bool settled(QQuickItem *item, const WaitUntil &waitUntil);

} // namespace orvelle::quickitems
