#include "signin/TokenFile.h"

#include "store/SafeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

QString TokenFilePath(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/signin-token");
}

bool WriteTokenFile(const QString &path, const QByteArray &refreshToken)
{
    return MakePrivateFolder(QFileInfo(path).absolutePath()) && WriteFileAtomically(path, refreshToken);
}

QByteArray ReadTokenFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if ((file.permissions() & ~(kOwnerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser)) != 0)
        file.setPermissions(kOwnerOnly);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed();
}

bool RemoveTokenFile(const QString &path)
{
    return !QFile::exists(path) || QFile::remove(path);
}
