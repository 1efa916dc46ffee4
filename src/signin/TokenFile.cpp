#include "signin/TokenFile.h"

#include "store/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A refresh token is a few hundred bytes; a larger file is not one of ours.
constexpr qsizetype kMaxTokenFile = 64 * 1024;

TokenFileContents Refused(const QString &path, const QString &reason)
{
    TokenFileContents out;
    out.ok = false;
    out.message = QStringLiteral("The sign-in file %1 %2, so it is not used: sign in again").arg(path, reason);
    return out;
}

} // namespace

QString TokenFilePath(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/signin-token");
}

bool WriteTokenFile(const QString &path, const QByteArray &refreshToken)
{
    return MakePrivateFolder(QFileInfo(path).absolutePath()) && WritePrivateFileAtomically(path, refreshToken);
}

TokenFileContents ReadTokenFileChecked(const QString &path)
{
    // Not blocking: a pipe at the file's place must not hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        if (errno == ELOOP)
            return Refused(path, QStringLiteral("is a link to another file"));
        return Refused(path, QStringLiteral("could not be read (%1)").arg(QString::fromLocal8Bit(::strerror(errno))));
    }
    struct stat entry {};
    TokenFileContents out;
    if (::fstat(fd, &entry) != 0 || !S_ISREG(entry.st_mode))
        out = Refused(path, QStringLiteral("is not a plain file"));
    else if (entry.st_uid != ::geteuid())
        out = Refused(path, QStringLiteral("belongs to another user"));
    else if ((entry.st_mode & (S_IRGRP | S_IROTH)) != 0)
        out = Refused(path, QStringLiteral("can be read by other users"));
    else if ((entry.st_mode & (S_IWGRP | S_IWOTH | S_IXGRP | S_IXOTH)) != 0)
        out = Refused(path, QStringLiteral("can be changed by other users"));
    else {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            out.refreshToken = file.read(kMaxTokenFile + 1).trimmed();
        if (!file.isOpen() || file.error() != QFileDevice::NoError)
            out = Refused(path, QStringLiteral("could not be read"));
        else if (out.refreshToken.size() > kMaxTokenFile)
            out = Refused(path, QStringLiteral("is too large to be a sign-in"));
    }
    ::close(fd);
    return out;
}

QByteArray ReadTokenFile(const QString &path)
{
    const TokenFileContents contents = ReadTokenFileChecked(path);
    return contents.ok ? contents.refreshToken : QByteArray();
}

bool RemoveTokenFile(const QString &path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}
