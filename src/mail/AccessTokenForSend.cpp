#include "mail/AccessTokenForSend.h"

SendAuthorization AccessTokenForSend(const HeldAccessToken &held, const TokenRefreshRequest &refresh,
                                     const QDateTime &now)
{
    SendAuthorization out;
    if (AccessTokenUsable(held.accessToken, held.expiresAt, now)) {
        out.ok = true;
        out.token = held;
        return out;
    }
    const TokenResult result = RefreshAccessToken(refresh);
    out.refreshed = true;
    if (!result.ok) {
        out.failure = result.failure;
        out.message = result.message;
        return out;
    }
    out.ok = true;
    out.token = {result.accessToken, result.expiresAt};
    if (result.refreshToken != refresh.refreshToken)
        out.newRefreshToken = result.refreshToken;
    return out;
}
