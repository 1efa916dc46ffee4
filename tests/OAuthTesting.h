#pragma once

#include "PythonFixture.h"

#include "mail/TokenReply.h"

#include <QByteArray>
#include <QString>

// The real authorization server of tests/fixtures/oauth_server.py, as the
// sign-in suites use it.

// Signs account in through the browser flow, with a browser that follows the
// provider's redirect at once; the tokens the flow ended with (empty when it
// did not end within 30 s).
TokenResult SignInAtOnce(const PythonFixture &authorization, const QString &account);

// Revokes a refresh token at the provider, and every access token made from it.
bool RevokeAtProvider(const PythonFixture &authorization, const QByteArray &refreshToken);
