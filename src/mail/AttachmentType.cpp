#include "mail/AttachmentType.h"

#include <QMimeDatabase>

namespace {

// Types the database gives for what is not a file's content as such.
bool IsUseful(const QMimeType &type)
{
    return type.isValid() && !type.isDefault() && !type.name().startsWith(QStringLiteral("inode/")) &&
           type.name() != QStringLiteral("application/x-zerosize");
}

} // namespace

QByteArray DetectMediaType(const QString &path)
{
    const QMimeDatabase database;
    QMimeType type = database.mimeTypeForFile(path);
    if (!IsUseful(type))
        type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!IsUseful(type))
        return "application/octet-stream";
    return type.name().toLatin1();
}

void PrepareMediaTypes()
{
    QMimeDatabase().mimeTypeForName(QStringLiteral("application/octet-stream"));
}
