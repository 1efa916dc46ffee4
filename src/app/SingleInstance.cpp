#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSocketNotifier>
#include <QSysInfo>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
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
bool IsFromThisUser(int socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// An address in the abstract namespace: a zero byte, then the name. In it the
// socket goes with the process, however it ends: nothing is left behind in a
// folder after a kill.
struct AbstractAddress {
    sockaddr_un address{};
    socklen_t size = 0;

    explicit AbstractAddress(const QByteArray &name)
    {
        address.sun_family = AF_UNIX;
        const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(name.size()), sizeof address.sun_path - 1);
        std::memcpy(address.sun_path + 1, name.constData(), length);
        size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    }
    const sockaddr *get() const { return reinterpret_cast<const sockaddr *>(&address); }
};

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_lock(dataFolder + kLockName)
{
}

SingleInstance::~SingleInstance()
{
    m_callers.reset();
    if (m_listener >= 0)
        ::close(m_listener);
}

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
    const AbstractAddress address(socketName());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener >= 0 && ::bind(listener, address.get(), address.size) == 0 && ::listen(listener, 4) == 0) {
        m_listener = listener;
        m_callers = std::make_unique<QSocketNotifier>(listener, QSocketNotifier::Read);
        connect(m_callers.get(), &QSocketNotifier::activated, this, &SingleInstance::answerCallers);
    } else if (listener >= 0) {
        ::close(listener);
    }
    return Owner;
}

void SingleInstance::answerCallers()
{
    // Every caller waiting, then back to the loop: the socket does not block.
    for (;;) {
        const int caller = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (caller < 0)
            return;
        const bool ours = IsFromThisUser(caller);
        ::close(caller);
        if (ours)
            emit showRequested();
    }
}

void SingleInstance::askOwnerToShow()
{
    // Connecting is all it takes; a local connection is made or refused at once.
    const AbstractAddress address(socketName());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return;
    if (::connect(socket, address.get(), address.size) == 0)
        ::send(socket, "show\n", 5, MSG_NOSIGNAL);
    ::close(socket);
}

QByteArray SingleInstance::socketName() const
{
    // One name per profile and user, short enough for a socket address.
    const QByteArray hash = QCryptographicHash::hash(m_dataFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return "quorvane-" + QByteArray::number(::geteuid()) + '-' + hash;
}
