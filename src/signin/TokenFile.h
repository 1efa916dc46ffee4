#pragma once

#include <QByteArray>
#include <QString>

// Where the refresh token goes when no keyring answers and the user has
// chosen, in the sign-in dialog, to keep it in a file only they can read.
// Never used otherwise.
QString TokenFilePath(const QString &dataFolder);

// Replaces the file whole, owner read and write only (0600). False when it
// could not be written.
bool WriteTokenFile(const QString &path, const QByteArray &refreshToken);

// Empty when there is none. A file that others could read is narrowed to
// its owner first.
QByteArray ReadTokenFile(const QString &path);

// True when the file is gone afterwards.
bool RemoveTokenFile(const QString &path);
