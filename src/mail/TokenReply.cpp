#include "mail/TokenReply.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// When the provider does not say how long a token lasts, it is not trusted
// for long.
constexpr qint64 kUnstatedLifetimeSeconds = 300;
// Nor for longer than a day, whatever it says: a lifetime past what a date
// can hold would leave no valid expiry at all.
constexpr qint64 kLongestLifetimeSeconds = 24 * 60 * 60;

// expires_in, a number or (some providers) a string of one. What is no
// positive number of seconds is asked about again soon.
qint64 LifetimeSeconds(const QJsonValue &lifetime)
{
    double seconds = -1;
    if (lifetime.isDouble()) {
        seconds = lifetime.toDouble();
    } else if (lifetime.isString()) {
        bool number = false;
        seconds = lifetime.toString().trimmed().toDouble(&number);
        // Too large for a double still says "long"; only a non-number is nonsense.
        if (!number && !std::isinf(seconds))
            seconds = -1;
    }
    if (std::isnan(seconds) || seconds < 1)
        return kUnstatedLifetimeSeconds;
    if (seconds >= double(kLongestLifetimeSeconds))
        return kLongestLifetimeSeconds;
    return static_cast<qint64>(seconds);
}

TokenResult Failed(TokenFailure kind, const QString &message)
{
    TokenResult out;
    out.failure = kind;
    out.message = message;
    return out;
}

QByteArray Encoded(const QString &value)
{
    return QUrl::toPercentEncoding(value);
}

void Add(QByteArray &form, const char *name, const QByteArray &encodedValue)
{
    if (!form.isEmpty())
        form += '&';
    form += name;
    form += '=';
    form += encodedValue;
}

} // namespace

QString SignInExpiredMessage()
{
    return QStringLiteral("The sign-in has expired: sign in again in Setup");
}

QString SignInRefusedMessage(const QString &serverReason)
{
    const QString reason = serverReason.simplified();
    if (reason.isEmpty())
        return QStringLiteral("The mail server refused the sign-in: sign in again in Setup");
    return QStringLiteral("The mail server refused the sign-in (%1): sign in again in Setup").arg(reason);
}

TokenResult ParseTokenReply(int httpStatus, const QByteArray &body, const QDateTime &now)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject reply = document.object();
    const QString error = reply.value(QStringLiteral("error")).toString();
    if (!error.isEmpty()) {
        if (error == QStringLiteral("invalid_grant"))
            return Failed(TokenFailure::InvalidGrant, SignInExpiredMessage());
        QString message = QStringLiteral("The sign-in was refused: %1").arg(error);
        const QString description = reply.value(QStringLiteral("error_description")).toString().simplified();
        if (!description.isEmpty())
            message += QStringLiteral(" (%1)").arg(description.left(300));
        return Failed(TokenFailure::Refused, message);
    }
    if (httpStatus != 200 || parseError.error != QJsonParseError::NoError || !document.isObject())
        return Failed(TokenFailure::BadReply,
                      QStringLiteral("The sign-in service gave an answer this program cannot read (HTTP %1)").arg(httpStatus));
    const QString type = reply.value(QStringLiteral("token_type")).toString();
    const QString accessToken = reply.value(QStringLiteral("access_token")).toString();
    if (accessToken.isEmpty() || (!type.isEmpty() && type.compare(QStringLiteral("Bearer"), Qt::CaseInsensitive) != 0))
        return Failed(TokenFailure::BadReply, QStringLiteral("The sign-in service gave no usable access token"));
    TokenResult out;
    out.ok = true;
    out.accessToken = accessToken.toUtf8();
    out.expiresAt = now.toUTC().addSecs(LifetimeSeconds(reply.value(QStringLiteral("expires_in"))));
    out.refreshToken = reply.value(QStringLiteral("refresh_token")).toString().toUtf8();
    out.idToken = reply.value(QStringLiteral("id_token")).toString().toLatin1();
    return out;
}

QByteArray CodeExchangeForm(const QString &clientId, const QString &clientSecret, const QString &code,
                            const QByteArray &codeVerifier, const QString &redirectUri)
{
    QByteArray form;
    Add(form, "grant_type", "authorization_code");
    Add(form, "code", Encoded(code));
    Add(form, "redirect_uri", Encoded(redirectUri));
    Add(form, "client_id", Encoded(clientId));
    if (!clientSecret.isEmpty())
        Add(form, "client_secret", Encoded(clientSecret));
    Add(form, "code_verifier", QUrl::toPercentEncoding(QString::fromLatin1(codeVerifier)));
    return form;
}

QByteArray RefreshForm(const QString &clientId, const QString &clientSecret, const QByteArray &refreshToken,
                       const QString &scope)
{
    QByteArray form;
    Add(form, "grant_type", "refresh_token");
    Add(form, "refresh_token", QUrl::toPercentEncoding(QString::fromUtf8(refreshToken)));
    Add(form, "client_id", Encoded(clientId));
    if (!clientSecret.isEmpty())
        Add(form, "client_secret", Encoded(clientSecret));
    if (!scope.isEmpty())
        Add(form, "scope", Encoded(scope));
    return form;
}
