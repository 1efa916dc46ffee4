#include "signin/IdTokenIdentity.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString AccountInIdToken(const QByteArray &idToken, const QString &clientId)
{
    const QList<QByteArray> parts = idToken.split('.');
    if (parts.size() != 3)
        return {};
    const auto decoded = QByteArray::fromBase64Encoding(parts.at(1), QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals |
                                                                          QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonObject claims = QJsonDocument::fromJson(*decoded).object();
    // Meant for this program, and no other client.
    const QJsonValue audience = claims.value(QStringLiteral("aud"));
    const bool ours = audience.isString() ? audience.toString() == clientId
                                          : audience.isArray() && audience.toArray().contains(QJsonValue(clientId));
    if (!ours || clientId.isEmpty())
        return {};
    const QString email = claims.value(QStringLiteral("email")).toString().trimmed();
    if (!email.isEmpty() && claims.value(QStringLiteral("email_verified")).toBool())
        return email;
    return claims.value(QStringLiteral("preferred_username")).toString().trimmed();
}
