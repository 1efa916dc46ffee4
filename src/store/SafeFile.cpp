#include "store/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
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

} // namespace

bool WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Set before the rename, so the file is never visible with wider rights.
    file.setPermissions(kOwnerOnly);
    if (file.write(bytes) != bytes.size()) {
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
