#include "mail/TokenEndpoint.h"

#include "mail/TransportPolicy.h"

#include <QDateTime>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

QString EndpointProblem(const QUrl &url)
{
    if (!url.isValid())
        return QStringLiteral("is not a web address");
    if (!url.userInfo().isEmpty())
        return QStringLiteral("must not hold a user name or password");
    if (url.hasFragment())
        return QStringLiteral("must not end in a #fragment");
    const QString scheme = url.scheme().toLower();
    if (scheme != QStringLiteral("https") && !(scheme == QStringLiteral("http") && IsLoopbackHost(url.host())))
        return QStringLiteral("must begin with https://");
    if (url.host().isEmpty())
        return QStringLiteral("is not a web address");
    return {};
}

bool IsAllowedEndpoint(const QUrl &url)
{
    return EndpointProblem(url).isEmpty();
}

TokenEndpointCall::TokenEndpointCall(QObject *parent) : QObject(parent), m_network(new QNetworkAccessManager(this)) {}

void TokenEndpointCall::start(const QUrl &tokenUrl, const QByteArray &form, std::chrono::milliseconds timeout)
{
    if (const QString problem = EndpointProblem(tokenUrl); !problem.isEmpty()) {
        TokenResult refused;
        refused.failure = TokenFailure::Refused;
        refused.message = QStringLiteral("The token URL %1").arg(problem);
        // Queued, so finished() never arrives before start() has returned.
        QTimer::singleShot(0, this, [this, refused] { emit finished(refused); });
        return;
    }
    QNetworkRequest request(tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A redirect could carry the form, and the secrets in it, elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply *reply = m_network->post(request, form);
    connect(reply, &QNetworkReply::finished, this, [this, reply, timeout] { done(reply, timeout); });
}

void TokenEndpointCall::done(QNetworkReply *reply, std::chrono::milliseconds timeout)
{
    reply->deleteLater();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    TokenResult result;
    if (status.isValid()) {
        // Errors come with a 4xx status and a JSON body saying which.
        result = ParseTokenReply(status.toInt(), reply->readAll(), QDateTime::currentDateTimeUtc());
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        result.failure = TokenFailure::Unreachable;
        result.message = QStringLiteral("The sign-in service did not answer within %1 seconds")
                             .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count());
    } else {
        result.failure = TokenFailure::Unreachable;
        result.message = QStringLiteral("The sign-in service could not be reached: %1").arg(reply->errorString());
    }
    emit finished(result);
}

TokenResult PostTokenRequest(const QUrl &tokenUrl, const QByteArray &form, std::chrono::milliseconds timeout)
{
    // A loop and a network manager of this thread's own: nothing here is
    // shared with the thread that asked.
    QEventLoop loop;
    TokenEndpointCall call;
    TokenResult result;
    QObject::connect(&call, &TokenEndpointCall::finished, &loop, [&](const TokenResult &r) {
        result = r;
        loop.quit();
    });
    call.start(tokenUrl, form, timeout);
    loop.exec();
    return result;
}

QString RevokeRefreshToken(const QUrl &revocationUrl, const QString &clientId, const QString &clientSecret,
                           const QByteArray &refreshToken, std::chrono::milliseconds timeout)
{
    if (const QString problem = EndpointProblem(revocationUrl); !problem.isEmpty())
        return QStringLiteral("The revocation URL %1").arg(problem);
    QByteArray form = "token=" + QUrl::toPercentEncoding(QString::fromUtf8(refreshToken)) +
                      "&token_type_hint=refresh_token&client_id=" + QUrl::toPercentEncoding(clientId);
    if (!clientSecret.isEmpty())
        form += "&client_secret=" + QUrl::toPercentEncoding(clientSecret);
    QNetworkAccessManager network;
    QNetworkRequest request(revocationUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    QNetworkReply *reply = network.post(request, form);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // RFC 7009: 200 also for a token the provider no longer knows.
    if (status == 200)
        return {};
    if (status != 0)
        return QStringLiteral("the revocation was refused (HTTP %1)").arg(status);
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return QStringLiteral("the sign-in service did not answer within %1 seconds")
            .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count());
    return QStringLiteral("the sign-in service could not be reached: %1").arg(reply->errorString());
}

TokenResult RefreshAccessToken(const TokenRefreshRequest &request)
{
    if (request.refreshToken.isEmpty()) {
        TokenResult out;
        out.failure = TokenFailure::InvalidGrant;
        out.message = SignInExpiredMessage();
        return out;
    }
    return PostTokenRequest(request.tokenUrl,
                            RefreshForm(request.clientId, request.clientSecret, request.refreshToken, request.scope),
                            request.timeout);
}
