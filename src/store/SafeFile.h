#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file whole: the bytes go to a temporary file beside it, are
// flushed to disk and renamed over the old one, so a crash or a full disk
// leaves either the old file or the new one, never a torn one. The file is
// readable and writable by its owner only. Returns false when any byte could
// not be written (a full disk, a file-size limit) and when path is a link to
// a file of another owner; the old file is then untouched.
bool WriteFileAtomically(const QString &path, const QByteArray &bytes);

// Replaces a file whole as WriteFileAtomically does, but never through a
// link: the new file is made in the folder of path and renamed over
// whatever is there, a link included, so the bytes can only end up at path.
// For secrets; false too when the folder is not the caller's.
bool WritePrivateFileAtomically(const QString &path, const QByteArray &bytes);

// Makes a folder (and its missing parents) readable by its owner only.
// Returns true when the folder exists afterwards.
bool MakePrivateFolder(const QString &path);
