#include "OAuthTesting.h"

#include "signin/SignInEndpoints.h"
#include "signin/SignInFlow.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

TokenResult SignInAtOnce(const PythonFixture &authorization, const QString &account)
{
    QNetworkAccessManager browser;
    SignInFlow flow([&browser](const QUrl &url) {
        QNetworkReply *reply = browser.get(QNetworkRequest(url));
        QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        return true;
    });
    QSignalSpy ended(&flow, &SignInFlow::finished);
    flow.start(ResolveSignInEndpoints({QStringLiteral("custom"), QStringLiteral("quorvane-test-client"), {}, {},
                                       authorization.url(QStringLiteral("/authorize")),
                                       authorization.url(QStringLiteral("/token")), QStringLiteral("mail offline_access")}),
               account);
    if (!QTest::qWaitFor([&] { return !ended.isEmpty(); }, 30000))
        return {};
    return ended.at(0).at(0).value<SignInOutcome>().tokens;
}

bool RevokeAtProvider(const PythonFixture &authorization, const QByteArray &refreshToken)
{
    QNetworkAccessManager network;
    QNetworkRequest revoke(QUrl(authorization.url(QStringLiteral("/revoke"))));
    revoke.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    std::unique_ptr<QNetworkReply> reply(
        network.post(revoke, "token=" + QUrl::toPercentEncoding(QString::fromUtf8(refreshToken))));
    return QTest::qWaitFor([&] { return reply->isFinished(); }, 10000) && reply->error() == QNetworkReply::NoError;
}
