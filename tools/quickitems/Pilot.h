#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <functional>

// Drives the client's window as a finger would: items are found by their
// objectName or Accessible.name, tapped once they have settled, and typed
// into. Every wait that runs out says what it waited for in `lastMiss()`.
// A `scope` given but null holds nothing: a lookup below it fails.
class Pilot
{
public:
    static constexpr int defaultPatience = 60000;

    // `patience` bounds each wait for an item, `settlePatience` each wait
    // for one to come to rest.
    explicit Pilot(QQuickWindow &window, int patience = defaultPatience,
                   int settlePatience = defaultPatience);

    // Runs the event loop until `done` holds; false after `ms`.
    static bool waitUntil(const std::function<bool()> &done, int ms = defaultPatience);
    static void pause(int ms);

    // The first visible item below `scope` (the window when not given) named `name`.
    QQuickItem *find(const QString &name) const;
    QQuickItem *find(const QString &name, QObject *scope) const;
    QQuickItem *waitFor(const QString &name) { return waitFor(name, &m_window); }
    QQuickItem *waitFor(const QString &name, QObject *scope);
    bool waitGone(const QString &name);
    bool tap(const QString &name) { return tap(waitFor(name)); }
    bool tap(const QString &name, QObject *scope) { return tap(waitFor(name, scope)); }
    bool tap(QQuickItem *item);
    // Taps the field and types `text` over what it holds.
    bool type(const QString &field, const QString &text);
    // Waits until the item has stopped moving (page and sheet transitions).
    bool settled(QQuickItem *item);

    // Closes the message box showing `message`.
    bool acknowledge(const QString &message);
    // Taps "返回" (within `scope`, when given) and waits until `page` has gone.
    bool back(const QString &page) { return tap(QStringLiteral("返回")) && waitGone(page); }
    bool back(const QString &page, QObject *scope);
    // Row `index` of the list "checkitems" below `page`, scrolled into view;
    // for -1, the list itself, scrolled to its end.
    QQuickItem *row(QObject *page, int index);
    // The camera is open: shutter, then keep the picture.
    bool takePhoto();
    // "添加图片" on a form, by the camera.
    bool addPhotoByCamera();
    // A choice of the option picker on screen, confirmed.
    bool pick(const QString &choice);
    // Opens the picker of an option row, then picks.
    bool choose(const QString &row, const QString &choice) { return tap(row) && pick(choice); }

    // A frame of the window once two grabs in a row agree (or the newest, if
    // something keeps moving); null or one colour means nothing was drawn.
    QImage steadyFrame();
    static bool isBlank(const QImage &image);

    QString lastMiss() const { return m_lastMiss; }
    void forget() { m_lastMiss.clear(); }

private:
    // The software renderer, the only one offscreen, draws nothing of an
    // item whose layer has an effect (the Material dialogs' shadow): such
    // items are drawn plainly instead.
    void flattenLayers();
    void click(QQuickItem *item);

    QQuickWindow &m_window;
    const int m_patience;
    const int m_settlePatience;
    QElapsedTimer m_clock;
    QString m_lastMiss;
};
