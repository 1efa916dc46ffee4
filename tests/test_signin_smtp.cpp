#include "OAuthTesting.h"
#include "PythonFixture.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"

#include "mail/DeliveryJob.h"
#include "mail/MailComposer.h"
#include "mail/SmtpTransport.h"
#include "mail/TransportPolicy.h"
#include "mail/TokenEndpoint.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QtTest>

using namespace std::chrono_literals;

// Sending signed in: SASL XOAUTH2 with an access token from the real
// authorization server (fixtures/oauth_server.py) to an aiosmtpd that checks
// the bearer against it (fixtures/smtp_xoauth2_server.py).
namespace {

const QString kUser = QStringLiteral("desk@example.org");
const QString kClientId = QStringLiteral("quorvane-test-client");

ComposedMail Mail()
{
    MailDraft draft;
    draft.from = QStringLiteral("Front Desk <desk@example.org>");
    draft.to = QStringLiteral("ann@example.org");
    draft.subject = QStringLiteral("Message From: Caller");
    draft.textBody = QStringLiteral("Please call back.\r\n");
    draft.date = QDateTime::currentDateTime();
    draft.messageId = NewMessageId(draft.from);
    return ComposeMail(draft);
}

// A signed-in job as the program builds it: no password, the account, and
// the held token with what it takes to get another.
DeliveryJob SignedInJob(const PythonFixture &smtp, const PythonFixture &authorization, const HeldAccessToken &held,
                        const QByteArray &refreshToken)
{
    DeliveryJob job;
    job.draft.from = QStringLiteral("Front Desk <desk@example.org>");
    job.draft.to = QStringLiteral("ann@example.org");
    job.draft.subject = QStringLiteral("Message From: Caller");
    job.draft.textBody = QStringLiteral("Please call back.\r\n");
    job.draft.date = QDateTime::currentDateTime();
    job.server = QStringLiteral("127.0.0.1");
    job.port = smtp.port();
    job.userName = kUser.toUtf8();
    job.signIn = SignedInLogin{held, {QUrl(authorization.url(QStringLiteral("/token"))), kClientId, {}, {}, refreshToken}};
    return job;
}

} // namespace

class SignInSmtpTest : public QObject {
    Q_OBJECT

private:
    static TransportResult Send(const PythonFixture &smtp, const QByteArray &token, const MailTransportOptions &options = {})
    {
        const SmtpCredentials credentials{kUser.toUtf8(), nullptr, token.constData()};
        return SubmitMail(PlanTransport(QStringLiteral("127.0.0.1"), smtp.port(), true, options), &credentials, Mail(), options);
    }

    static bool StartSmtp(PythonFixture &smtp, const PythonFixture &authorization, const QStringList &more = {})
    {
        return smtp.start(QStringList{QStringLiteral("--introspect"), authorization.url(QStringLiteral("/introspect"))} + more);
    }

private slots:
    void sendsWithAnAccessTokenAndRefreshesIt()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start({QStringLiteral("--lifetime"), QStringLiteral("4")}), qPrintable(authorization.error()));
        PythonFixture smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(smtp, authorization, {QStringLiteral("--also-oauthbearer")}), qPrintable(smtp.error()));
        const TokenResult tokens = SignInAtOnce(authorization, kUser);
        QVERIFY(!tokens.accessToken.isEmpty());

        TransportResult sent = Send(smtp, tokens.accessToken);
        QVERIFY2(sent.sent, qPrintable(sent.failure));
        QList<QJsonObject> auth = smtp.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 1);
        // Offered both, it still takes the one mail providers speak.
        QCOMPARE(auth.at(0).value(QStringLiteral("mechanism")).toString(), QStringLiteral("XOAUTH2"));
        QCOMPARE(auth.at(0).value(QStringLiteral("login")).toString(), kUser);
        QVERIFY(auth.at(0).value(QStringLiteral("success")).toBool());

        // Once it has run out the server refuses it, and a refresh gets a good one.
        QTest::qWait(5000);
        sent = Send(smtp, tokens.accessToken);
        QVERIFY(!sent.sent);
        QVERIFY2(sent.failure.contains(QStringLiteral("535")), qPrintable(sent.failure));
        QVERIFY(!sent.failure.contains(QString::fromLatin1(tokens.accessToken)));
        const TokenResult refreshed =
            RefreshAccessToken({QUrl(authorization.url(QStringLiteral("/token"))), kClientId, {}, {}, tokens.refreshToken});
        QVERIFY2(refreshed.ok, qPrintable(refreshed.message));
        sent = Send(smtp, refreshed.accessToken);
        QVERIFY2(sent.sent, qPrintable(sent.failure));
        auth = smtp.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 3);
        QVERIFY(!auth.at(1).value(QStringLiteral("success")).toBool());
        QVERIFY(auth.at(2).value(QStringLiteral("success")).toBool());
    }

    // The delivery job gets its access token on the sending thread: a fresh
    // one when none is held, the held one while it lasts, and a refresh
    // token the provider rotated comes back to be stored.
    void signedInJobsRefreshOnTheSendingThread()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start({QStringLiteral("--rotate"), QStringLiteral("--lifetime"), QStringLiteral("600")}),
                 qPrintable(authorization.error()));
        SmtpTestServer smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(smtp, authorization), qPrintable(smtp.error()));
        const TokenResult tokens = SignInAtOnce(authorization, kUser);
        QVERIFY(!tokens.refreshToken.isEmpty());
        const qsizetype signInRequests = authorization.events(QStringLiteral("token")).size();

        // Just started: nothing held.
        DeliveryOutcome first = DeliverOnWorker(SignedInJob(smtp, authorization, {}, tokens.refreshToken));
        QVERIFY2(first.sent, qPrintable(first.failure));
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        QVERIFY(!first.accessToken.accessToken.isEmpty());
        QVERIFY(first.accessToken.expiresAt > QDateTime::currentDateTimeUtc().addSecs(500));
        QVERIFY(!first.newRefreshToken.isEmpty());
        QVERIFY(first.newRefreshToken != tokens.refreshToken);

        // Held, with ten minutes left: no refresh.
        const DeliveryOutcome second =
            DeliverOnWorker(SignedInJob(smtp, authorization, first.accessToken, first.newRefreshToken));
        QVERIFY2(second.sent, qPrintable(second.failure));
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        QCOMPARE(second.accessToken.accessToken, first.accessToken.accessToken);
        QVERIFY(second.newRefreshToken.isEmpty());

        // Within a minute of its end: refreshed first.
        const HeldAccessToken ending{first.accessToken.accessToken, QDateTime::currentDateTimeUtc().addSecs(59)};
        const DeliveryOutcome third = DeliverOnWorker(SignedInJob(smtp, authorization, ending, first.newRefreshToken));
        QVERIFY2(third.sent, qPrintable(third.failure));
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 2);
        QVERIFY(third.accessToken.accessToken != first.accessToken.accessToken);
        QVERIFY(!third.newRefreshToken.isEmpty());

        const QList<QJsonObject> auth = smtp.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 3);
        for (const QJsonObject &attempt : auth) {
            QCOMPARE(attempt.value(QStringLiteral("mechanism")).toString(), QStringLiteral("XOAUTH2"));
            QCOMPARE(attempt.value(QStringLiteral("login")).toString(), kUser);
            QVERIFY(attempt.value(QStringLiteral("success")).toBool());
        }
        QCOMPARE(smtp.messages().size(), 3);

        // Revoked at the provider: the send fails before the mail server is
        // asked, saying what to do.
        QVERIFY(RevokeAtProvider(authorization, third.newRefreshToken));
        const DeliveryOutcome revoked = DeliverOnWorker(SignedInJob(smtp, authorization, {}, third.newRefreshToken));
        QVERIFY(!revoked.sent);
        QCOMPARE(revoked.failure, QStringLiteral("The sign-in has expired: sign in again in Setup"));
        QVERIFY(revoked.accessToken.accessToken.isEmpty());
        QCOMPARE(smtp.events(QStringLiteral("auth")).size(), 3);
    }

    // A held token the server refuses before its time (revoked, or the
    // server knows better) is dropped, one new one is asked for and the
    // mail goes with it. Both ways servers refuse: a plain 535, and the 334
    // challenge with a JSON error that Gmail and Dovecot send.
    void refusedHeldTokenIsRefreshedOnce_data()
    {
        QTest::addColumn<bool>("challenge");
        QTest::newRow("535") << false;
        QTest::newRow("334 challenge") << true;
    }
    void refusedHeldTokenIsRefreshedOnce()
    {
        QFETCH(bool, challenge);
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start({QStringLiteral("--rotate")}), qPrintable(authorization.error()));
        SmtpTestServer smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(smtp, authorization, challenge ? QStringList{QStringLiteral("--challenge-refusal")} : QStringList{}),
                 qPrintable(smtp.error()));
        const TokenResult tokens = SignInAtOnce(authorization, kUser);
        QVERIFY(!tokens.refreshToken.isEmpty());
        const qsizetype signInRequests = authorization.events(QStringLiteral("token")).size();

        const HeldAccessToken bogus{"at-not-issued", QDateTime::currentDateTimeUtc().addSecs(3600)};
        const DeliveryOutcome outcome = DeliverOnWorker(SignedInJob(smtp, authorization, bogus, tokens.refreshToken));
        QVERIFY2(outcome.sent, qPrintable(outcome.failure));
        QVERIFY(!outcome.signInOver);
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        QVERIFY(!outcome.accessToken.accessToken.isEmpty());
        QVERIFY(outcome.accessToken.accessToken != bogus.accessToken);
        // Rotated on the way: the new one is to be stored.
        QVERIFY(!outcome.newRefreshToken.isEmpty());
        QVERIFY(outcome.newRefreshToken != tokens.refreshToken);
        const QList<QJsonObject> auth = smtp.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 2);
        QVERIFY(!auth.at(0).value(QStringLiteral("success")).toBool());
        QVERIFY(auth.at(1).value(QStringLiteral("success")).toBool());
        QCOMPARE(smtp.messages().size(), 1);
    }

    // Refused again with a token just had from the provider, or no new one
    // to be had: the sign-in is over, and the send says so and what to do,
    // with the server's reason; never "server said 334".
    void refusedFreshTokenEndsTheSignIn_data()
    {
        QTest::addColumn<bool>("challenge");
        QTest::addColumn<QString>("reason");
        QTest::newRow("535") << false << QStringLiteral("535 5.7.3 Authentication unsuccessful");
        QTest::newRow("334 challenge") << true << QStringLiteral("invalid_token");
    }
    void refusedFreshTokenEndsTheSignIn()
    {
        QFETCH(bool, challenge);
        QFETCH(QString, reason);
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start(), qPrintable(authorization.error()));
        SmtpTestServer smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(smtp, authorization, challenge ? QStringList{QStringLiteral("--challenge-refusal")} : QStringList{}),
                 qPrintable(smtp.error()));
        // Tokens of another account: the server takes none of them for kUser.
        const TokenResult other = SignInAtOnce(authorization, QStringLiteral("other@example.org"));
        QVERIFY(!other.refreshToken.isEmpty());
        const qsizetype signInRequests = authorization.events(QStringLiteral("token")).size();

        const HeldAccessToken held{other.accessToken, QDateTime::currentDateTimeUtc().addSecs(3600)};
        const DeliveryOutcome outcome = DeliverOnWorker(SignedInJob(smtp, authorization, held, other.refreshToken));
        QVERIFY(!outcome.sent);
        QVERIFY(outcome.signInOver);
        QCOMPARE(outcome.failure,
                 QStringLiteral("The mail server refused the sign-in (%1): sign in again in Setup").arg(reason));
        QVERIFY(outcome.accessToken.accessToken.isEmpty());
        // Refreshed once, not again and again.
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        const QList<QJsonObject> auth = smtp.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 2);
        QVERIFY(smtp.messages().isEmpty());

        // The refresh token itself revoked: said as the end of the sign-in too.
        QVERIFY(RevokeAtProvider(authorization, other.refreshToken));
        const DeliveryOutcome revoked = DeliverOnWorker(SignedInJob(smtp, authorization, held, other.refreshToken));
        QVERIFY(!revoked.sent);
        QVERIFY(revoked.signInOver);
        QCOMPARE(revoked.failure, QStringLiteral("The sign-in has expired: sign in again in Setup"));

        // The provider out of reach: said so, the sign-in is not over.
        DeliveryJob unreachable = SignedInJob(smtp, authorization, {}, "rt-unused");
        unreachable.signIn->refresh.tokenUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(UnusedPort()));
        const DeliveryOutcome offline = DeliverOnWorker(std::move(unreachable));
        QVERIFY(!offline.sent);
        QVERIFY(!offline.signInOver);
        QVERIFY2(offline.failure.startsWith(QStringLiteral("The sign-in service could not be reached")),
                 qPrintable(offline.failure));
        QCOMPARE(smtp.events(QStringLiteral("auth")).size(), 3);
    }

    void tokensKeepTheTlsRules()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start(), qPrintable(authorization.error()));
        const TokenResult tokens = SignInAtOnce(authorization, kUser);
        QVERIFY(!tokens.accessToken.isEmpty());
        MailTransportOptions strict;
        strict.loopbackMaySkipTls = false; // as a server on another machine is treated

        PythonFixture plain(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(plain, authorization), qPrintable(plain.error()));
        const TransportResult refused = Send(plain, tokens.accessToken, strict);
        QVERIFY(!refused.sent);
        QVERIFY(plain.events(QStringLiteral("auth")).isEmpty());

        QTemporaryDir certificates;
        QVERIFY(MakeTestCertificate(certificates.path()));
        PythonFixture encrypted(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(StartSmtp(encrypted, authorization,
                           {QStringLiteral("--starttls"), certificates.filePath(QStringLiteral("cert.pem")),
                            certificates.filePath(QStringLiteral("key.pem"))}),
                 qPrintable(encrypted.error()));
        strict.certificateAuthorityFile = certificates.filePath(QStringLiteral("cert.pem"));
        const TransportResult sent = Send(encrypted, tokens.accessToken, strict);
        QVERIFY2(sent.sent, qPrintable(sent.failure));
        const QList<QJsonObject> auth = encrypted.events(QStringLiteral("auth"));
        QCOMPARE(auth.size(), 1);
        QVERIFY(auth.at(0).value(QStringLiteral("tls")).toBool());
    }
};

QTEST_MAIN(SignInSmtpTest)
#include "test_signin_smtp.moc"
