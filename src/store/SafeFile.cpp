#include "store/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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

} // namespace

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
