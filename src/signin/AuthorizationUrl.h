#pragma once

#include "signin/SignInEndpoints.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

// The address the browser opens: an authorization code request with PKCE
// S256, the state to check on the way back and, when known, the account so
// the provider can skip asking which one.
QUrl BuildAuthorizationUrl(const SignInEndpoints &endpoints, const QString &redirectUri, const QByteArray &state,
                           const QByteArray &codeChallenge, const QString &loginHint);
