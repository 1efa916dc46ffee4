#pragma once

#include <QString>

// What the user chose in the sign-in dialog that is not secret, kept in a
// small file of its own beside the data files so that those keep their byte
// layout. The refresh token is never here.
struct SignInChoices {
    QString provider;
    QString clientId;
    QString tenant;
    bool active = false;      // sign-in, not the password, is how sends log in
    bool tokenInFile = false; // the user chose the private file over the keyring
    // Another provider's addresses and scope, as typed: a send needs the
    // token address to refresh with, long after the dialog has closed.
    QString authorizeUrl;
    QString tokenUrl;
    QString scope;
    // A send found the sign-in over (revoked, expired, refused by the mail
    // server): it stays the login, but only signing in again mends it.
    bool expired{false};
    // How the sign-in sends: "smtp", "graph" or "gmail", as chosen when it
    // was made; empty: not chosen yet. A file written before there was a
    // choice reads as "smtp", the way that sign-in was made.
    QString sendThrough{};
    QString apiUrl{}; // the mail service's base address; empty: its own
};

inline bool operator==(const SignInChoices &a, const SignInChoices &b)
{
    return a.provider == b.provider && a.clientId == b.clientId && a.tenant == b.tenant && a.active == b.active &&
           a.tokenInFile == b.tokenInFile && a.authorizeUrl == b.authorizeUrl && a.tokenUrl == b.tokenUrl &&
           a.scope == b.scope && a.expired == b.expired && a.sendThrough == b.sendThrough && a.apiUrl == b.apiUrl;
}

// dataFolder is the folder of the data files.
QString SignInChoicesPath(const QString &dataFolder);

// Defaults (not active) when the file is missing or unreadable; unknown lines
// are ignored so an older program reads a newer file.
SignInChoices ReadSignInChoices(const QString &path);

// Replaces the file whole, readable by its owner only. False when it could
// not be written; the old file is then untouched.
bool WriteSignInChoices(const QString &path, const SignInChoices &choices);
