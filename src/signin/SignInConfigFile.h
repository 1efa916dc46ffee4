#pragma once

#include "signin/SignInSettings.h"

#include <QString>
#include <QStringList>

// The file an administrator deploys so that every desk signs in with the
// organisation's own application registration: Lumarc/quorvane-signin.conf,
// group [SignIn], keys Provider, ClientId, ClientSecret, Tenant,
// AuthorizeUrl, TokenUrl, Scope, Prompt (present but empty: none),
// RevocationUrl.

// The places looked in, in order: the user's config folder, then each folder
// of the system's list ("/etc/xdg" when the list is empty). configHome empty
// means $HOME/.config, as XDG says.
QStringList SignInConfigCandidates(const QString &configHome, const QString &configDirs, const QString &home);

// The first of the candidates that exists as a file; empty when none does.
QString FindSignInConfigFile(const QString &configHome, const QString &configDirs, const QString &home);

// The same, from $XDG_CONFIG_HOME, $XDG_CONFIG_DIRS and $HOME.
QString FindSignInConfigFile();

// What the file says; fields it does not set are empty. An unreadable or
// missing file sets nothing.
SignInSettings ReadSignInConfigFile(const QString &path);
