#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

// Why a token request failed, so the caller can say what to do: an
// invalid_grant means the sign-in is over (revoked, expired, password
// changed) and only signing in again helps; an unreachable provider may
// answer next time.
enum class TokenFailure { None, InvalidGrant, Refused, Unreachable, BadReply };

struct TokenResult {
    bool ok = false;
    TokenFailure failure = TokenFailure::None;
    QString message;         // for the user, when !ok; never holds a token
    QByteArray accessToken;
    QDateTime expiresAt;     // UTC
    QByteArray refreshToken; // a new one when the provider rotated it; else empty
    QByteArray idToken;      // OpenID Connect: who signed in, when asked for (scope openid)
};

// The token endpoint's answer (RFC 6749 section 5) read at `now`.
TokenResult ParseTokenReply(int httpStatus, const QByteArray &body, const QDateTime &now);

// Whether an access token may still be sent: not within a minute of its
// expiry, so it does not run out between here and the server's check.
// Inline, for the program to ask without opening the mail library.
inline constexpr qint64 kAccessTokenMarginSeconds = 60;
inline bool AccessTokenUsable(const QByteArray &accessToken, const QDateTime &expiresAt, const QDateTime &now)
{
    return !accessToken.isEmpty() && expiresAt.isValid() && now.secsTo(expiresAt) > kAccessTokenMarginSeconds;
}

// The sign-in's message for a sign-in that is over.
QString SignInExpiredMessage();
// The same, when the mail server refused a token just had from the
// provider, with the server's reason.
QString SignInRefusedMessage(const QString &serverReason);

// The forms posted to the token endpoint (application/x-www-form-urlencoded).
QByteArray CodeExchangeForm(const QString &clientId, const QString &clientSecret, const QString &code,
                            const QByteArray &codeVerifier, const QString &redirectUri);
// No redirect_uri: a refresh has none, and some providers refuse one.
QByteArray RefreshForm(const QString &clientId, const QString &clientSecret, const QByteArray &refreshToken,
                       const QString &scope);
