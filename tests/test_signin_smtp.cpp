#include "PythonFixture.h"
#include "SmtpTestServer.h"

#include "mail/MailComposer.h"
#include "mail/SmtpTransport.h"
#include "mail/TransportPolicy.h"
#include "signin/SignInEndpoints.h"
#include "signin/SignInFlow.h"
#include "mail/TokenEndpoint.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
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

} // namespace

class SignInSmtpTest : public QObject {
    Q_OBJECT

private:
    // Signs in with a browser that follows the provider's redirect at once.
    TokenResult SignIn(const PythonFixture &authorization)
    {
        QNetworkAccessManager browser;
        SignInFlow flow([&browser](const QUrl &url) {
            QNetworkReply *reply = browser.get(QNetworkRequest(url));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
            return true;
        });
        QSignalSpy ended(&flow, &SignInFlow::finished);
        flow.start(ResolveSignInEndpoints({QStringLiteral("custom"), kClientId, {}, {}, authorization.url(QStringLiteral("/authorize")),
                                           authorization.url(QStringLiteral("/token")), QStringLiteral("mail offline_access")}),
                   kUser);
        [&] { QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000); }();
        if (ended.isEmpty())
            return {};
        const SignInOutcome outcome = ended.at(0).at(0).value<SignInOutcome>();
        [&] { QVERIFY2(outcome.signedIn, qPrintable(outcome.message)); }();
        return outcome.tokens;
    }

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
        const TokenResult tokens = SignIn(authorization);
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

    void tokensKeepTheTlsRules()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start(), qPrintable(authorization.error()));
        const TokenResult tokens = SignIn(authorization);
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
