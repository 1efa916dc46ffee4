#pragma once

#include "mail/TokenEndpoint.h"
#include "mail/TokenReply.h"

#include <QByteArray>
#include <QDateTime>

// The access token one send logs in with, as values the delivery job carries
// to the sending thread: the one held in memory while it has more than a
// minute left, else a fresh one from the refresh token.
struct HeldAccessToken {
    QByteArray accessToken; // empty: none held yet (just started)
    QDateTime expiresAt;
};

struct SendAuthorization {
    bool ok = false;
    TokenFailure failure = TokenFailure::None;
    QString message;            // for the send-error dialog's reason line, when !ok
    HeldAccessToken token;      // to log in with, and to hold for the next send
    bool refreshed = false;     // the provider was asked: keep `token` for later sends
    QByteArray newRefreshToken; // the provider rotated it: store this one instead
};

// Safe on any thread; waits for the provider at most refresh.timeout.
SendAuthorization AccessTokenForSend(const HeldAccessToken &held, const TokenRefreshRequest &refresh,
                                     const QDateTime &now);
