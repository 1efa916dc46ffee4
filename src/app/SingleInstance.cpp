#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_lock(dataFolder + QStringLiteral("/quorvane.lock"))
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire()
{
    // The lock lives as long as the program, so its age says nothing: only a
    // lock whose owning process is gone (killed, crashed) counts as stale,
    // and tryLock takes such a lock over by itself.
    m_lock.setStaleLockTime(0);
    if (!m_lock.tryLock(0))
        return m_lock.error() == QLockFile::LockFailedError ? HeldByAnother : Unavailable;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(serverName());
    if (m_server->listen(serverName())) {
        connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                socket->deleteLater();
                emit showRequested();
            }
        });
    }
    return Owner;
}

void SingleInstance::askOwnerToShow()
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (socket.waitForConnected(500)) {
        socket.write("show\n");
        socket.waitForBytesWritten(500);
        socket.disconnectFromServer();
    }
}

QString SingleInstance::serverName() const
{
    // One name per profile, short enough for a socket path.
    const QByteArray hash = QCryptographicHash::hash(m_dataFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("quorvane-") + QString::fromLatin1(hash);
}
