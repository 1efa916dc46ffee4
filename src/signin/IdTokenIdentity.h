#pragma once

#include <QByteArray>
#include <QString>

// The account an OpenID Connect ID token names: its e-mail address when the
// provider says it verified it, else its preferred user name. Empty when the
// token is not one issued to clientId, or names no account. The signature is
// not checked: the token comes straight from the token endpoint, over TLS or
// the loopback, which OpenID Connect allows in its place.
QString AccountInIdToken(const QByteArray &idToken, const QString &clientId);
