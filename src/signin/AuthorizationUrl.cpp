#include "signin/AuthorizationUrl.h"

#include <QUrlQuery>

namespace {

// Encodes every reserved character, "+" and "&" among them, which QUrlQuery
// would otherwise leave as they are.
QString Encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QUrl BuildAuthorizationUrl(const SignInEndpoints &endpoints, const QString &redirectUri, const QByteArray &state,
                           const QByteArray &codeChallenge, const QString &loginHint)
{
    QUrl url = endpoints.authorizeUrl;
    // Keep whatever query the configured address carries (a tenant hint, say).
    QUrlQuery query(url);
    auto add = [&query](const char *name, const QString &value) {
        query.addQueryItem(QLatin1String(name), Encoded(value));
    };
    add("response_type", QStringLiteral("code"));
    add("client_id", endpoints.clientId);
    add("redirect_uri", redirectUri);
    if (!endpoints.scope.isEmpty())
        add("scope", endpoints.scope);
    add("state", QString::fromLatin1(state));
    add("code_challenge", QString::fromLatin1(codeChallenge));
    add("code_challenge_method", QStringLiteral("S256"));
    if (endpoints.provider == SignInProvider::Google) {
        // Google hands out a refresh token only when asked for one.
        add("access_type", QStringLiteral("offline"));
    }
    if (!endpoints.prompt.isEmpty())
        add("prompt", endpoints.prompt);
    if (!loginHint.trimmed().isEmpty())
        add("login_hint", loginHint.trimmed());
    url.setQuery(query);
    return url;
}
