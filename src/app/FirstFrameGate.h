#pragma once

#include <QObject>
#include <functional>

namespace orvelle {

// Work the first screen does not draw (reading the system CAs, the version
// query, opening the device store) waits for that screen's first frame: the
// client holds the gate while it builds its window and opens it once the
// frame is shown. Never held (tests, tools), work runs on the next event.
class FirstFrameGate : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void hold() { m_held = true; }
    void open();
    // Runs `work` on an event after the gate is open, unless `context` is gone.
    void whenOpen(QObject *context, std::function<void()> work);

signals:
    void opened();

private:
    bool m_held = false;
};

} // namespace orvelle
