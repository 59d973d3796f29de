#include "RunningClient.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QWindow>

namespace orvelle {

namespace {
constexpr int patienceMs = 5000;
const QByteArray request = "show ";
const QByteArray shown = "shown\n";

// One name per device folder, however it was spelled.
QString serverName(const QString &deviceFolder)
{
    const QFileInfo folder(deviceFolder);
    const QString path = folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath()
                                                              : folder.canonicalFilePath();
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
           + QStringLiteral("/orvelle-")
           + QString::fromLatin1(
               QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256)
                   .toHex()
                   .left(16));
}

// Wayland's token, else the X11 startup id: whichever the desktop gave.
QByteArray activationToken()
{
    for (const char *variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"})
        if (const QByteArray token = qgetenv(variable).trimmed(); !token.isEmpty())
            return token.split('\n').constFirst();
    return {};
}
} // namespace

RunningClient::RunningClient(const QString &deviceFolder, QObject *parent)
    : QObject(parent)
    , m_name(serverName(deviceFolder))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &RunningClient::answer);
}

bool RunningClient::listen()
{
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void RunningClient::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine().trimmed();
            if (line.startsWith(request.trimmed()))
                emit showRequested(QString::fromUtf8(line.mid(request.size())));
            socket->write(shown);
            socket->disconnectFromServer();
        });
    }
}

bool RunningClient::askToShow(const QString &deviceFolder)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(deviceFolder));
    if (!socket.waitForConnected(patienceMs))
        return false;
    socket.write(request + activationToken() + '\n');
    if (!socket.waitForBytesWritten(patienceMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(patienceMs))
            return false;
    return socket.readLine() == shown;
}

void RunningClient::bringForward(QWindow &window, const QString &activationToken)
{
    // Qt's Wayland activation reads the token from here once.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    window.setWindowStates(window.windowStates() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.requestActivate();
}

} // namespace orvelle
