#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSysInfo>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kLockName = QStringLiteral("/quorvane.lock");

struct LockHolder {
    bool readable = false; // the file names a process at all
    bool thisMachine = false;
    QString host;
};

// What the lock file says of its holder, judged as QLockFile judges it: by
// the machine's unique id where the file has one, else by host name.
LockHolder ReadHolder(const QString &path)
{
    LockHolder holder;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return holder;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool isNumber = false;
    const qint64 pid = lines.value(0).toLongLong(&isNumber);
    holder.readable = isNumber && pid > 0;
    holder.host = QString::fromUtf8(lines.value(2));
    const QByteArray hostId = lines.value(3);
    holder.thisMachine = holder.host.isEmpty() || holder.host == QSysInfo::machineHostName();
    if (!hostId.isEmpty() && !QSysInfo::machineUniqueId().isEmpty())
        holder.thisMachine = hostId == QSysInfo::machineUniqueId();
    return holder;
}

// Whoever connects to the show socket must be this user: the socket lives in
// the abstract namespace, which has no file permissions to keep others out.
bool IsFromThisUser(const QLocalSocket &socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_lock(dataFolder + kLockName)
{
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::acquire()
{
    // The lock lives as long as the program, so its age says nothing: only a
    // lock whose owning process is gone (killed, crashed) counts as stale,
    // and tryLock takes such a lock over by itself.
    m_lock.setStaleLockTime(0);
    if (m_lock.tryLock(0))
        return becomeOwner();
    if (m_lock.error() != QLockFile::LockFailedError)
        return Unavailable;
    const LockHolder holder = ReadHolder(m_dataFolder + kLockName);
    // Empty, zeros or garbage (a power cut while it was written): it names no
    // process, so none of ours holds it. A copy that does hold it also holds
    // a lock on the file itself, which the takeover respects.
    if (!holder.readable)
        return takeOver();
    // QLockFile has checked a holder on this machine and found it running;
    // one on another machine it cannot check, and would honour for ever.
    if (!holder.thisMachine) {
        m_holderHost = holder.host;
        return HeldOnAnotherHost;
    }
    return HeldByAnother;
}

SingleInstance::Outcome SingleInstance::takeOver()
{
    if (m_lock.removeStaleLockFile() && m_lock.tryLock(0))
        return becomeOwner();
    return HeldByAnother;
}

SingleInstance::Outcome SingleInstance::becomeOwner()
{
    // In the abstract namespace the socket goes with the process, however it
    // ends: nothing is left behind in a folder after a kill.
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (m_server->listen(serverName())) {
        connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *socket = m_server->nextPendingConnection()) {
                const bool ours = IsFromThisUser(*socket);
                socket->deleteLater();
                if (ours)
                    emit showRequested();
            }
        });
    }
    return Owner;
}

void SingleInstance::askOwnerToShow()
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(serverName());
    if (socket.waitForConnected(500)) {
        socket.write("show\n");
        socket.waitForBytesWritten(500);
        socket.disconnectFromServer();
    }
}

QString SingleInstance::serverName() const
{
    // One name per profile and user, short enough for a socket address.
    const QByteArray hash = QCryptographicHash::hash(m_dataFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("quorvane-%1-").arg(::geteuid()) + QString::fromLatin1(hash);
}
