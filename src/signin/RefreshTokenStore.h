#pragma once

#include "store/SignInChoices.h"

#include <QByteArray>
#include <QString>

#include <chrono>

// Where one profile's refresh token is kept, as the user chose: the desktop
// keyring, or, only when they ticked it, the private file in the data folder.
// Never both: saving to one removes it from the other. Call on the UI thread
// (the keyring's rule); hand the token to the sending thread as a value.
struct StoredToken {
    bool ok = false;
    QString message;         // why not, for the user, when !ok
    QByteArray refreshToken; // empty with ok: not signed in
};

StoredToken LoadRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                             std::chrono::milliseconds keyringWait);
// Empty on success, else why not.
QString SaveRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                         const QByteArray &refreshToken, std::chrono::milliseconds keyringWait);
// Signing out: gone from wherever it was. Empty on success, else why not.
QString ForgetRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                           std::chrono::milliseconds keyringWait);
// Why the token kept in the private file cannot be used, found without
// opening the keyring; empty when there is nothing to say.
QString StoredTokenProblem(const SignInChoices &choices, const QString &dataFolder);
