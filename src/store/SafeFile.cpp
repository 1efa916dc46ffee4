#include "store/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnly | QFileDevice::ExeOwner;
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
        file.commit();
        return false;
    }
    return file.commit();
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
