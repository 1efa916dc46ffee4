#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSocketNotifier>
#include <QSysInfo>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// Whoever is at the other end of the show socket must be this user: in the
// abstract namespace no file permissions keep others out.
bool IsFromThisUser(int socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// A socket address: a path, or, for a name starting with a zero byte, a name
// in the abstract namespace, where the socket goes with the process however
// it ends. Not valid when the path is too long for an address.
struct SocketAddress {
    sockaddr_un address{};
    socklen_t size = 0;

    explicit SocketAddress(const QByteArray &name)
    {
        address.sun_family = AF_UNIX;
        if (name.isEmpty() || static_cast<std::size_t>(name.size()) > sizeof address.sun_path - 1)
            return;
        std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
        size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<std::size_t>(name.size()));
    }
    bool valid() const { return size != 0; }
    bool abstract() const { return address.sun_path[0] == '\0'; }
    const sockaddr *get() const { return reinterpret_cast<const sockaddr *>(&address); }
};

// A folder only this user can reach: no one else can put a socket in it.
bool IsPrivateFolder(const QByteArray &path)
{
    struct stat entry {};
    return !path.isEmpty() && ::stat(path.constData(), &entry) == 0 && S_ISDIR(entry.st_mode) &&
           entry.st_uid == ::geteuid() && (entry.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QString CannotStart(const QString &what, const QString &path, const QString &todo)
{
    return QStringLiteral("Quorvane cannot start: %1:\n%2\n\n%3, then start Quorvane again.").arg(what, path, todo);
}

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
    if (!m_boundPath.isEmpty())
        ::unlink(m_boundPath.constData());
}

QString SingleInstance::lockPath() const
{
    return m_dataFolder + kLockName;
}

SingleInstance::Outcome SingleInstance::acquire()
{
    // The lock lives as long as the program, so its age says nothing: only a
    // lock whose owning process is gone (killed, crashed) counts as stale,
    // and tryLock takes such a lock over by itself.
    m_lock.setStaleLockTime(0);
    // Looked at first: QLockFile would read a pipe there and wait for ever.
    if (const Outcome odd = clearOddLock(); odd != HeldByAnother)
        return odd;
    if (m_lock.tryLock(0))
        return becomeOwner();
    if (m_lock.error() != QLockFile::LockFailedError)
        return Unavailable;
    const LockHolder holder = ReadHolder(lockPath());
    // Empty, zeros or garbage (a power cut while it was written): it names no
    // process, so none of ours holds it. A copy that does hold it also holds
    // a lock on the file itself, which the takeover respects.
    if (!holder.readable) {
        if (takeOver() == Owner)
            return Owner;
        // A file that cannot even be opened is not held by a copy of ours
        // either: it is in the way.
        const int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return HeldByAnother;
        }
        m_problem = CannotStart(QStringLiteral("its lock file cannot be opened (%1)").arg(QString::fromLocal8Bit(::strerror(errno))),
                                lockPath(), QStringLiteral("Delete that file"));
        return Unusable;
    }
    // QLockFile has checked a holder on this machine and found it running;
    // one on another machine it cannot check, and would honour for ever.
    if (!holder.thisMachine) {
        m_holderHost = holder.host;
        return HeldOnAnotherHost;
    }
    return HeldByAnother;
}

// Something other than a file at the lock's place, which QLockFile can
// neither take nor clear. A copy of ours only ever holds a plain file there,
// so a link that leads to no file, or an empty folder, is no one's lock and
// goes; anything else is left for the user. HeldByAnother: nothing there, a
// plain file or a link to one, for the usual checks.
SingleInstance::Outcome SingleInstance::clearOddLock()
{
    const QByteArray native = QFile::encodeName(lockPath());
    struct stat entry {};
    if (::lstat(native.constData(), &entry) != 0 || S_ISREG(entry.st_mode))
        return HeldByAnother;
    bool cleared = false;
    if (S_ISLNK(entry.st_mode)) {
        struct stat target {};
        if (::stat(native.constData(), &target) == 0 && S_ISREG(target.st_mode))
            return HeldByAnother;
        cleared = ::unlink(native.constData()) == 0;
    } else if (S_ISDIR(entry.st_mode)) {
        cleared = ::rmdir(native.constData()) == 0;
        if (!cleared) {
            m_problem = CannotStart(QStringLiteral("in place of its lock file there is a folder with files in it"),
                                    lockPath(), QStringLiteral("Move that folder somewhere else"));
            return Unusable;
        }
    }
    if (!cleared) {
        m_problem = CannotStart(QStringLiteral("in place of its lock file there is something that is not a file"),
                                lockPath(), QStringLiteral("Delete it"));
        return Unusable;
    }
    if (m_lock.tryLock(0))
        return becomeOwner();
    return m_lock.error() == QLockFile::LockFailedError ? HeldByAnother : Unavailable;
}

SingleInstance::Outcome SingleInstance::takeOver()
{
    if (m_lock.removeStaleLockFile() && m_lock.tryLock(0))
        return becomeOwner();
    return HeldByAnother;
}

SingleInstance::Outcome SingleInstance::becomeOwner()
{
    for (const QByteArray &path : socketPaths()) {
        const SocketAddress address(path);
        if (!address.valid())
            continue;
        if (!address.abstract()) {
            // Holding the lock, no copy of ours listens there: a socket
            // left by a copy that was killed is cleared, anything else kept.
            struct stat entry {};
            if (::lstat(path.constData(), &entry) == 0 && (!S_ISSOCK(entry.st_mode) || ::unlink(path.constData()) != 0))
                continue;
        }
        const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listener < 0)
            break;
        // An abstract name someone else took first fails here: the next place.
        if (::bind(listener, address.get(), address.size) != 0 || ::listen(listener, 4) != 0) {
            ::close(listener);
            continue;
        }
        if (!address.abstract()) {
            ::chmod(path.constData(), 0600);
            m_boundPath = path;
        }
        m_listener = listener;
        m_callers = std::make_unique<QSocketNotifier>(listener, QSocketNotifier::Read);
        connect(m_callers.get(), &QSocketNotifier::activated, this, &SingleInstance::answerCallers);
        break;
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
    // Connecting is all it takes; a local connection is made or refused at
    // once. Only a listener of this user's hears it: another user may have
    // taken the abstract name to catch the call.
    for (const QByteArray &path : socketPaths()) {
        const SocketAddress address(path);
        if (!address.valid())
            continue;
        const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (socket < 0)
            return;
        const bool ours = ::connect(socket, address.get(), address.size) == 0 && IsFromThisUser(socket);
        if (ours)
            ::send(socket, "show\n", 5, MSG_NOSIGNAL);
        ::close(socket);
        if (ours)
            return;
    }
}

QByteArray SingleInstance::socketName() const
{
    // One name per profile and user, short enough for a socket address.
    const QByteArray hash = QCryptographicHash::hash(m_dataFolder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return "quorvane-" + QByteArray::number(::geteuid()) + '-' + hash;
}

QList<QByteArray> SingleInstance::socketPaths() const
{
    QList<QByteArray> out;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime))
        out.append(runtime + '/' + socketName() + ".sock");
    out.append('\0' + socketName());
    const QByteArray folder = QFile::encodeName(m_dataFolder);
    if (IsPrivateFolder(folder))
        out.append(folder + "/quorvane.show");
    return out;
}
