#pragma once

#include "mail/TokenReply.h"

#include <QObject>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// Where a code or a token may be sent: https with a host, or plain http to
// this machine's loopback address (as IsLoopbackHost has it), never with a
// user name or a fragment in the address.
bool IsAllowedEndpoint(const QUrl &url);
// Why not, to end "The token URL ..." ("must begin with https://"); empty
// when allowed.
QString EndpointProblem(const QUrl &url);

// One POST to a token endpoint, answered through finished(). For the sign-in
// dialog, which must keep its window painting while it waits.
class TokenEndpointCall : public QObject {
    Q_OBJECT
public:
    explicit TokenEndpointCall(QObject *parent = nullptr);

    // An endpoint that is neither https nor loopback http is refused before
    // anything is sent. The call gives up after `timeout` without an answer.
    void start(const QUrl &tokenUrl, const QByteArray &form, std::chrono::milliseconds timeout);

signals:
    void finished(const TokenResult &result);

private:
    void done(QNetworkReply *reply, std::chrono::milliseconds timeout);

    QNetworkAccessManager *m_network;
};

// Everything a refresh needs, as values, so a worker thread gets its own copy.
struct TokenRefreshRequest {
    QUrl tokenUrl;
    QString clientId;
    QString clientSecret;
    QString scope;
    QByteArray refreshToken;
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
};

// Trades the refresh token for a new access token, waiting for the answer.
// Callable from any thread that Qt knows (the sending thread included); it
// shares nothing with other threads. A rotated refresh token comes back in
// the result for the caller to store.
TokenResult RefreshAccessToken(const TokenRefreshRequest &request);

// Revokes a refresh token at the provider (RFC 7009), waiting at most
// `timeout`; user input waits meanwhile. Empty when the provider took it,
// else why not.
QString RevokeRefreshToken(const QUrl &revocationUrl, const QString &clientId, const QString &clientSecret,
                           const QByteArray &refreshToken, std::chrono::milliseconds timeout);

// The same wait for any form, e.g. a code exchange done off the UI thread.
TokenResult PostTokenRequest(const QUrl &tokenUrl, const QByteArray &form, std::chrono::milliseconds timeout);
