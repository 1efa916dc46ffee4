#pragma once

#include "signin/SignInSettings.h"
#include "store/SignInChoices.h"

#include <QString>

#include <chrono>

// Signing out: every refresh token this program kept for the account goes,
// whichever provider it was signed in with (each one's keyring entry, and
// the private file), and each is first revoked at its provider where that
// provider offers it (Google; RevocationUrl in the administrator's file,
// RFC 7009). Another account's sign-ins stay. Call on the UI thread (the
// keyring's rule).
struct SignOutResult {
    bool removed = false; // nothing of the account's sign-ins is kept here any more
    QString message;      // empty when done everywhere; else what was not
};
SignOutResult SignOutEverywhere(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                          const SignInSettings &deployed, std::chrono::milliseconds keyringWait);
