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
class Pilot
{
public:
    explicit Pilot(QQuickWindow &window);

    // Runs the event loop until `done` holds; false after `ms`.
    static bool waitUntil(const std::function<bool()> &done, int ms = patience);
    static void pause(int ms);

    // The first visible item below `scope` (the window when null) named `name`.
    QQuickItem *find(const QString &name, QObject *scope = nullptr) const;
    QQuickItem *waitFor(const QString &name, QObject *scope = nullptr);
    bool waitGone(const QString &name);
    bool tap(const QString &name, QObject *scope = nullptr);
    bool tap(QQuickItem *item);
    // Taps the field and types `text` over what it holds.
    bool type(const QString &field, const QString &text);
    // Waits until the item has stopped moving (page and sheet transitions).
    bool settled(QQuickItem *item);

    // A frame of the window once two grabs in a row agree (or the newest, if
    // something keeps moving); null or one colour means nothing was drawn.
    QImage steadyFrame();
    static bool isBlank(const QImage &image);

    QString lastMiss() const { return m_lastMiss; }
    void forget() { m_lastMiss.clear(); }

    static constexpr int patience = 60000;

private:
    // The software renderer, the only one offscreen, draws nothing of an
    // item whose layer has an effect (the Material dialogs' shadow): such
    // items are drawn plainly instead.
    void flattenLayers();
    void click(QQuickItem *item);

    QQuickWindow &m_window;
    QElapsedTimer m_clock;
    QString m_lastMiss;
};
