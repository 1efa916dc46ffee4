#pragma once

#include <QByteArray>
#include <QString>

// Where the refresh token goes when no keyring answers and the user has
// chosen, in the sign-in dialog, to keep it in a file only they can read.
// Never used otherwise.
QString TokenFilePath(const QString &dataFolder);

// Replaces the file whole, owner read and write only (0600), never through a
// link: a link at the file's place is replaced by the file. False when it
// could not be written.
bool WriteTokenFile(const QString &path, const QByteArray &refreshToken);

struct TokenFileContents {
    bool ok = true;          // false: refused, with the reason for the user
    QString message;
    QByteArray refreshToken; // empty with ok: there is none
};

// Only a plain file of ours that no one else may read or change is used: a
// token someone else could have read, or put there, is refused, never
// quietly narrowed and used.
TokenFileContents ReadTokenFileChecked(const QString &path);
// The token, empty when there is none or it was refused.
QByteArray ReadTokenFile(const QString &path);

// True when nothing is at path afterwards. A link there is removed, never
// followed: what it points to may be any file of the user's.
bool RemoveTokenFile(const QString &path);
