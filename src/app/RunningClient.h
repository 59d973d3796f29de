#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWindow;

namespace orvelle {

// The desktop's one-window rule for a device folder: the client holding the
// folder's lock listens on a socket in the user's runtime folder, and a
// second start asks it to bring its window forward instead of opening one.
class RunningClient : public QObject
{
    Q_OBJECT

public:
    explicit RunningClient(const QString &deviceFolder, QObject *parent = nullptr);

    // Only the lock's holder listens, so a socket left by a killed client is
    // taken over.
    bool listen();
    // Asks the client listening for that folder to come forward, handing on
    // the activation token the desktop gave this start; true once it has.
    static bool askToShow(const QString &deviceFolder);
    // Shows, raises and activates the window with that token.
    static void bringForward(QWindow &window, const QString &activationToken);

signals:
    void showRequested(const QString &activationToken);

private:
    void answer();

    QString m_name;
    QLocalServer *m_server;
};

} // namespace orvelle
