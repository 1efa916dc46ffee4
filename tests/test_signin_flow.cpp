#include "OAuthTesting.h"
#include "PythonFixture.h"
#include "SmtpTestServer.h"

#include "mail/AccessTokenForSend.h"
#include "signin/SignInEndpoints.h"
#include "signin/SignInFlow.h"
#include "mail/TokenEndpoint.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

// The browser sign-in and the token endpoint against a real authorization
// server on 127.0.0.1 (tests/fixtures/oauth_server.py). The program opens the
// provider's page with QDesktopServices::openUrl; here a stand-in browser
// takes http addresses, follows the redirect to the program's listener and
// keeps the page it is shown.
namespace {

const QString kClientId = QStringLiteral("quorvane-test-client");

class StandInBrowser : public QObject {
    Q_OBJECT
public:
    explicit StandInBrowser(bool follow = true) : m_follow(follow)
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~StandInBrowser() override
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    }

    QList<QUrl> opened;
    QByteArray page;
    int status = 0;
    int pagesShown = 0;

    void visit(const QUrl &url)
    {
        QNetworkReply *reply = m_network.get(QNetworkRequest(url));
        connect(reply, &QNetworkReply::finished, this, [this, reply] {
            reply->deleteLater();
            page = reply->readAll();
            status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            ++pagesShown;
        });
    }

public slots:
    void open(const QUrl &url)
    {
        opened.append(url);
        if (m_follow)
            visit(url);
    }

private:
    bool m_follow;
    QNetworkAccessManager m_network;
};

SignInEndpoints FixtureEndpoints(const PythonFixture &server)
{
    return ResolveSignInEndpoints({QStringLiteral("custom"), kClientId, QString(), QString(),
                                   server.url(QStringLiteral("/authorize")), server.url(QStringLiteral("/token")),
                                   QStringLiteral("mail offline_access")});
}

SignInFlow::BrowserOpener SystemBrowser()
{
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

int RedirectPort(const QUrl &authorizationUrl)
{
    return QUrl(QUrlQuery(authorizationUrl).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded)).port();
}

bool Accepts(const QHostAddress &address, int port)
{
    QTcpSocket socket;
    socket.connectToHost(address, quint16(port));
    return socket.waitForConnected(3000);
}

// Refreshes on a thread of its own, as the sending thread will: only the
// request's values go in, only the result comes out.
TokenResult RefreshOnWorker(const TokenRefreshRequest &request)
{
    TokenResult result;
    std::unique_ptr<QThread> worker(QThread::create([&result, request] { result = RefreshAccessToken(request); }));
    worker->start();
    worker->wait();
    return result;
}

} // namespace

class SignInFlowTest : public QObject {
    Q_OBJECT

private:
    // Signs in against the server; the outcome, once the flow has ended.
    static SignInOutcome SignIn(const PythonFixture &server, StandInBrowser &browser, SignInFlow &flow)
    {
        QSignalSpy ended(&flow, &SignInFlow::finished);
        flow.start(FixtureEndpoints(server), QStringLiteral("desk@example.org"));
        [&] { QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000); }();
        if (ended.count() != 1)
            return {};
        // The page the browser shows is written once the flow has ended.
        [&] { QTRY_VERIFY_WITH_TIMEOUT(browser.pagesShown > 0 || browser.opened.isEmpty(), 10000); }();
        return ended.at(0).at(0).value<SignInOutcome>();
    }

private slots:
    void signsInThroughTheBrowser()
    {
        PythonFixture server(QStringLiteral("oauth_server.py"));
        // A provider that keeps OpenID Connect's rule: a refresh token only
        // for offline_access with prompt=consent.
        QVERIFY2(server.start({QStringLiteral("--lifetime"), QStringLiteral("600"), QStringLiteral("--strict-offline")}),
                 qPrintable(server.error()));
        StandInBrowser browser;
        SignInFlow flow(SystemBrowser());
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const SignInOutcome outcome = SignIn(server, browser, flow);
        QVERIFY2(outcome.signedIn, qPrintable(outcome.message));
        QVERIFY(!outcome.tokens.accessToken.isEmpty());
        QVERIFY(!outcome.tokens.refreshToken.isEmpty());
        QVERIFY(qAbs(before.secsTo(outcome.tokens.expiresAt) - 600) <= 5);

        QCOMPARE(browser.status, 200);
        QVERIFY(browser.page.contains("You are signed in; you may close this tab."));
        QCOMPARE(browser.opened.size(), 1);
        const QUrlQuery asked(browser.opened.at(0));
        QCOMPARE(asked.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
        QCOMPARE(asked.queryItemValue(QStringLiteral("scope"), QUrl::FullyDecoded), QStringLiteral("mail offline_access"));
        QVERIFY(!asked.hasQueryItem(QStringLiteral("code_verifier")));

        const QList<QJsonObject> authorized = server.events(QStringLiteral("authorize"));
        QCOMPARE(authorized.size(), 1);
        QVERIFY(authorized.at(0).value(QStringLiteral("ok")).toBool());
        QCOMPARE(authorized.at(0).value(QStringLiteral("login_hint")).toString(), QStringLiteral("desk@example.org"));
        QCOMPARE(authorized.at(0).value(QStringLiteral("prompt")).toString(), QStringLiteral("consent"));
        QVERIFY(authorized.at(0).value(QStringLiteral("redirect_uri")).toString().startsWith(QStringLiteral("http://127.0.0.1:")));
        const QList<QJsonObject> tokens = server.events(QStringLiteral("token"));
        QCOMPARE(tokens.size(), 1);
        QVERIFY(tokens.at(0).value(QStringLiteral("ok")).toBool());
        // One answer only: the port is closed once the flow has ended.
        QVERIFY(!Accepts(QHostAddress::LocalHost, RedirectPort(browser.opened.at(0))));
    }

    void failuresSayWhatHappened_data()
    {
        QTest::addColumn<QStringList>("serverOptions");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("tokenRequests");
        QTest::newRow("declined") << QStringList{QStringLiteral("--deny")} << QStringLiteral("The sign-in was declined in the browser") << 0;
        // Turned away with an error page; the right answer never comes.
        QTest::newRow("state of another request: out of time")
            << QStringList{QStringLiteral("--wrong-state")} << QStringLiteral("The sign-in was not finished in time") << 0;
        QTest::newRow("client secret wanted")
            << QStringList{QStringLiteral("--client-secret"), QStringLiteral("s3")}
            << QStringLiteral("The sign-in was refused: invalid_client (wrong client secret)") << 1;
        QTest::newRow("no refresh token")
            << QStringList{QStringLiteral("--no-refresh-token")}
            << QStringLiteral("The provider gave no refresh token, so every send would need the browser again. Sign in "
                              "once more and agree to stay signed in; if this is said again, ask your administrator "
                              "to allow this application offline access")
            << 1;
        // The provider shows its own error page and never redirects.
        QTest::newRow("unknown client: out of time")
            << QStringList{QStringLiteral("--client-id"), QStringLiteral("someone-else")}
            << QStringLiteral("The sign-in was not finished in time") << 0;
    }
    void failuresSayWhatHappened()
    {
        QFETCH(QStringList, serverOptions);
        QFETCH(QString, message);
        QFETCH(int, tokenRequests);
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start(serverOptions), qPrintable(server.error()));
        StandInBrowser browser;
        SignInFlow flow(SystemBrowser());
        flow.setTimeLimit(3s);
        const SignInOutcome outcome = SignIn(server, browser, flow);
        QVERIFY(!outcome.signedIn);
        QVERIFY(!outcome.cancelled);
        QCOMPARE(outcome.message, message);
        QCOMPARE(server.events(QStringLiteral("token")).size(), tokenRequests);
        QCOMPARE(browser.opened.size(), 1);
        if (tokenRequests > 0 || serverOptions.contains(QStringLiteral("--deny"))) {
            QVERIFY(browser.page.contains("Quorvane could not sign you in"));
            QVERIFY(!browser.page.contains("You are signed in"));
        }
        QVERIFY(!Accepts(QHostAddress::LocalHost, RedirectPort(browser.opened.at(0))));
    }

    // The code that comes back may be someone else's, made with this
    // sign-in's state and challenge read from the browser's command line:
    // the ID token says whose account it is, and only Setup's Username is taken.
    void onlyTheClaimedAccountSignsIn_data()
    {
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QStringList>("serverOptions");
        QTest::addColumn<QString>("message"); // empty: signed in
        QTest::newRow("the account itself") << QStringLiteral("openid mail offline_access") << QStringList{} << QString();
        QTest::newRow("same account, other case")
            << QStringLiteral("openid mail offline_access") << QStringList{QStringLiteral("--identity"), QStringLiteral("Desk@Example.ORG")}
            << QString();
        QTest::newRow("another account")
            << QStringLiteral("openid mail offline_access")
            << QStringList{QStringLiteral("--identity"), QStringLiteral("mallory@example.org")}
            << QStringLiteral("The provider signed in mallory@example.org, not desk@example.org (the Username in Setup): "
                              "nothing was kept. Sign in as desk@example.org");
        QTest::newRow("asked, but no identity given")
            << QStringLiteral("openid mail offline_access") << QStringList{QStringLiteral("--no-id-token")}
            << QStringLiteral("The provider did not say which account signed in, so the sign-in was not kept");
    }
    void onlyTheClaimedAccountSignsIn()
    {
        QFETCH(QString, scope);
        QFETCH(QStringList, serverOptions);
        QFETCH(QString, message);
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start(serverOptions), qPrintable(server.error()));
        StandInBrowser browser;
        SignInFlow flow(SystemBrowser());
        QSignalSpy ended(&flow, &SignInFlow::finished);
        SignInEndpoints endpoints = FixtureEndpoints(server);
        endpoints.scope = scope;
        flow.start(endpoints, QStringLiteral("desk@example.org"));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        const SignInOutcome outcome = ended.at(0).at(0).value<SignInOutcome>();
        QCOMPARE(outcome.message, message);
        QCOMPARE(outcome.signedIn, message.isEmpty());
        if (!outcome.signedIn) {
            QVERIFY(outcome.tokens.refreshToken.isEmpty());
            QVERIFY(outcome.tokens.accessToken.isEmpty());
        }
    }

    void listensOnTheLoopbackOnlyUntilCancelled()
    {
        StandInBrowser browser(false);
        SignInFlow flow(SystemBrowser());
        QSignalSpy ended(&flow, &SignInFlow::finished);
        flow.start(ResolveSignInEndpoints({QStringLiteral("microsoft"), kClientId, {}, {}, {}, {}, {}}), QString());
        QCOMPARE(browser.opened.size(), 1);
        QVERIFY(browser.opened.at(0).toString().startsWith(
            QStringLiteral("https://login.microsoftonline.com/organizations/oauth2/v2.0/authorize?")));
        const QString redirect = QUrlQuery(browser.opened.at(0)).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded);
        QVERIFY2(redirect.startsWith(QStringLiteral("http://localhost:")), qPrintable(redirect));
        const int port = RedirectPort(browser.opened.at(0));
        QVERIFY(Accepts(QHostAddress::LocalHost, port));
        // A browser may take "localhost" as ::1: that loopback answers too.
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHostIPv6)) {
            probe.close();
            QVERIFY(Accepts(QHostAddress::LocalHostIPv6, port));
        }
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (!address.isLoopback() && !address.isLinkLocal())
                QVERIFY2(!Accepts(address, port), qPrintable(address.toString()));
        }
        // A request that carries no answer (a browser's icon) is turned away
        // and the sign-in goes on.
        QNetworkAccessManager network;
        std::unique_ptr<QNetworkReply> icon(network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/favicon.ico").arg(port)))));
        QTRY_VERIFY(icon->isFinished());
        QCOMPARE(icon->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
        QVERIFY(flow.running());

        flow.cancel();
        QCOMPARE(ended.count(), 1);
        const SignInOutcome outcome = ended.at(0).at(0).value<SignInOutcome>();
        QVERIFY(outcome.cancelled);
        QCOMPARE(outcome.message, QStringLiteral("The sign-in was cancelled"));
        QVERIFY(!Accepts(QHostAddress::LocalHost, port));
        flow.cancel();
        QCOMPARE(ended.count(), 1);
    }

    void noBrowserNoWait()
    {
        SignInFlow flow([](const QUrl &) { return false; });
        QSignalSpy ended(&flow, &SignInFlow::finished);
        flow.start(ResolveSignInEndpoints({QStringLiteral("google"), kClientId, {}, {}, {}, {}, {}}), QString());
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).value<SignInOutcome>().message, QStringLiteral("No web browser could be opened for the sign-in"));
        QVERIFY(!Accepts(QHostAddress::LocalHost, RedirectPort(flow.authorizationUrl())));
    }

    void refreshesRotateAndEndWithRevocation()
    {
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start({QStringLiteral("--rotate")}), qPrintable(server.error()));
        StandInBrowser browser;
        SignInFlow flow(SystemBrowser());
        const SignInOutcome outcome = SignIn(server, browser, flow);
        QVERIFY2(outcome.signedIn, qPrintable(outcome.message));

        TokenRefreshRequest request{QUrl(server.url(QStringLiteral("/token"))), kClientId, QString(), QString(),
                                    outcome.tokens.refreshToken};
        const TokenResult first = RefreshOnWorker(request);
        QVERIFY2(first.ok, qPrintable(first.message));
        QVERIFY(!first.accessToken.isEmpty());
        QVERIFY(first.accessToken != outcome.tokens.accessToken);
        // The provider rotated it: the new one comes back, the old one is spent.
        QVERIFY(!first.refreshToken.isEmpty());
        QVERIFY(first.refreshToken != outcome.tokens.refreshToken);
        const TokenResult spent = RefreshOnWorker(request);
        QCOMPARE(spent.failure, TokenFailure::InvalidGrant);
        QCOMPARE(spent.message, QStringLiteral("The sign-in has expired: sign in again in Setup"));

        request.refreshToken = first.refreshToken;
        // Before a send: the rotated token comes back for the caller to store.
        const SendAuthorization send = AccessTokenForSend({}, request, QDateTime::currentDateTimeUtc());
        QVERIFY2(send.ok, qPrintable(send.message));
        QVERIFY(!send.newRefreshToken.isEmpty());
        QVERIFY(send.newRefreshToken != first.refreshToken);
        request.refreshToken = send.newRefreshToken;
        const TokenResult second = RefreshOnWorker(request);
        QVERIFY2(second.ok, qPrintable(second.message));

        QVERIFY(RevokeAtProvider(server, second.refreshToken));
        request.refreshToken = second.refreshToken;
        const TokenResult after = RefreshOnWorker(request);
        QCOMPARE(after.failure, TokenFailure::InvalidGrant);
        QVERIFY(after.accessToken.isEmpty());
        // Each refresh went out without a redirect_uri, which the server refuses.
        int granted = 0;
        for (const QJsonObject &event : server.events(QStringLiteral("token"))) {
            QVERIFY(event.value(QStringLiteral("error")).toString() != QStringLiteral("invalid_request"));
            granted += event.value(QStringLiteral("ok")).toBool() ? 1 : 0;
        }
        QCOMPARE(granted, 4);
    }

    // What the sending thread does before each send signed in.
    void sendsHoldTheTokenUntilAMinuteIsLeft()
    {
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start({QStringLiteral("--lifetime"), QStringLiteral("600")}), qPrintable(server.error()));
        StandInBrowser browser;
        SignInFlow flow(SystemBrowser());
        const SignInOutcome outcome = SignIn(server, browser, flow);
        QVERIFY2(outcome.signedIn, qPrintable(outcome.message));
        const HeldAccessToken held{outcome.tokens.accessToken, outcome.tokens.expiresAt};
        const TokenRefreshRequest refresh{QUrl(server.url(QStringLiteral("/token"))), kClientId, {}, {},
                                          outcome.tokens.refreshToken};
        auto onWorker = [&](const HeldAccessToken &token, const QDateTime &now) {
            SendAuthorization result;
            std::unique_ptr<QThread> worker(QThread::create([&] { result = AccessTokenForSend(token, refresh, now); }));
            worker->start();
            worker->wait();
            return result;
        };
        const int signInRequests = server.events(QStringLiteral("token")).size();

        SendAuthorization send = onWorker(held, held.expiresAt.addSecs(-61));
        QVERIFY(send.ok);
        QVERIFY(!send.refreshed);
        QCOMPARE(send.token.accessToken, held.accessToken);
        QCOMPARE(server.events(QStringLiteral("token")).size(), signInRequests);

        for (const int secondsLeft : {60, -1}) {
            send = onWorker(held, held.expiresAt.addSecs(-secondsLeft));
            QVERIFY2(send.ok, qPrintable(send.message));
            QVERIFY(send.refreshed);
            QVERIFY(send.token.accessToken != held.accessToken);
            QVERIFY(send.token.expiresAt > QDateTime::currentDateTimeUtc().addSecs(500));
            // Not rotated by this provider: nothing new to store.
            QVERIFY(send.newRefreshToken.isEmpty());
        }
        QCOMPARE(server.events(QStringLiteral("token")).size(), signInRequests + 2);

        send = onWorker({}, QDateTime::currentDateTimeUtc());
        QVERIFY(send.refreshed);
        QVERIFY(send.ok);

        QVERIFY(RevokeAtProvider(server, outcome.tokens.refreshToken));
        send = onWorker(held, held.expiresAt);
        QVERIFY(!send.ok);
        QCOMPARE(send.failure, TokenFailure::InvalidGrant);
        QCOMPARE(send.message, QStringLiteral("The sign-in has expired: sign in again in Setup"));
        QVERIFY(send.token.accessToken.isEmpty());
    }

    void refreshFailuresAreToldApart()
    {
        const QUrl nowhere(QStringLiteral("http://127.0.0.1:%1/token").arg(UnusedPort()));
        TokenResult result = RefreshOnWorker({nowhere, kClientId, {}, {}, "rt"});
        QCOMPARE(result.failure, TokenFailure::Unreachable);
        QVERIFY2(result.message.startsWith(QStringLiteral("The sign-in service could not be reached: ")), qPrintable(result.message));

        // Takes the connection and never answers.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        result = RefreshOnWorker({QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(silent.serverPort())), kClientId, {}, {}, "rt", 2s});
        QCOMPARE(result.failure, TokenFailure::Unreachable);
        QCOMPARE(result.message, QStringLiteral("The sign-in service did not answer within 2 seconds"));

        // Plain http to another machine: refused before anything is sent.
        result = RefreshOnWorker({QUrl(QStringLiteral("http://login.example/token")), kClientId, {}, {}, "rt"});
        QCOMPARE(result.failure, TokenFailure::Refused);
        QCOMPARE(result.message, QStringLiteral("The token URL must begin with https://"));

        result = RefreshOnWorker({nowhere, kClientId, {}, {}, QByteArray()});
        QCOMPARE(result.failure, TokenFailure::InvalidGrant);
    }
};

QTEST_MAIN(SignInFlowTest)
#include "test_signin_flow.moc"
