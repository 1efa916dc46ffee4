#include "store/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnly | QFileDevice::ExeOwner;

// The new file's bytes are on disk once committed, but its name is only once
// the folder that holds it is: without this a power cut can bring back the
// old file or none.
void SyncFolderOf(const QString &path)
{
    const QString folder = QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Replacing goes through a link to the file it names, and the new file is
// ours: run as root over a link into someone else's file, a save would take
// that file from its owner.
bool IsLinkToAnotherOwnersFile(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat entry {};
    if (::lstat(native.constData(), &entry) != 0 || !S_ISLNK(entry.st_mode))
        return false;
    struct stat target {};
    return ::stat(native.constData(), &target) == 0 && target.st_uid != ::geteuid();
}

// Every byte is on disk, as far as the system will say: QSaveFile buffers
// the bytes and its commit() reports success although the flush that wrote
// them failed (a full disk, a file-size limit), and then renames a short
// file over the old one.
bool WriteAndSync(QSaveFile &file, const QByteArray &bytes)
{
    return file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError &&
           ::fsync(file.handle()) == 0;
}

bool WriteAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// A fresh name beside the file, made by us alone (O_EXCL), never a link.
int CreateTemporaryBeside(int folder, const QByteArray &name, QByteArray *temporary)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        *temporary = '.' + name + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
        const int fd = ::openat(folder, temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

bool WritePrivateFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    const int folder = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return false;
    struct stat folderEntry {};
    QByteArray temporary;
    int fd = -1;
    // In a folder of someone else's, they could swap the file after us.
    bool ok = ::fstat(folder, &folderEntry) == 0 && folderEntry.st_uid == ::geteuid() &&
              (fd = CreateTemporaryBeside(folder, name, &temporary)) >= 0;
    if (ok) {
        // The umask cannot have given more than 0600, but it may have given less.
        ok = ::fchmod(fd, 0600) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        // The rename takes the place of whatever is at the name, without
        // following it.
        ok = ok && ::renameat(folder, temporary.constData(), folder, name.constData()) == 0;
        if (!ok)
            ::unlinkat(folder, temporary.constData(), 0);
        else
            ::fsync(folder);
    }
    ::close(folder);
    return ok;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (IsLinkToAnotherOwnersFile(path))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set before the rename, so the file is never visible with wider rights.
    file.setPermissions(kOwnerOnly);
    if (!WriteAndSync(file, bytes)) {
        file.cancelWriting();
        file.commit(); // discards the temporary file
        return false;
    }
    if (!file.commit())
        return false;
    SyncFolderOf(path);
    return true;
}

bool MakePrivateFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !MakePrivateFolder(parent))
        return false;
    return QDir().mkdir(path, kOwnerOnlyFolder) || QFileInfo(path).isDir();
}
