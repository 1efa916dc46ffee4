#include "OAuthTesting.h"
#include "PythonFixture.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"

#include "mail/DeliveryJob.h"
#include "mail/MailComposer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

// Sending signed in through the providers' mail services instead of SMTP:
// Microsoft Graph and the Gmail API, as fixtures/mail_api_server.py has them
// from their documentation, with the bearer checked against the real
// authorization server (fixtures/oauth_server.py).
namespace {

const QString kUser = QStringLiteral("desk@example.org");
const QString kClientId = QStringLiteral("quorvane-test-client");
const char kPage[] = "<table><tr><td>From:</td><td>Zo\xc3\xab &lt;zoe@example.org&gt;</td></tr></table>"
                     "<br></body></html>\r\n";

QString Sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(20261211);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return bytes;
}

QList<QJsonObject> Messages(const PythonFixture &server)
{
    QList<QJsonObject> out;
    for (int n = 1;; ++n) {
        QFile file(QDir(server.outFolder()).filePath(QStringLiteral("message-%1.json").arg(n)));
        if (!file.open(QIODevice::ReadOnly))
            return out;
        out.append(QJsonDocument::fromJson(file.readAll()).object());
    }
}

QByteArray MessageFile(const PythonFixture &server, int n)
{
    return ReadWholeFile(QDir(server.outFolder()).filePath(QStringLiteral("message-%1.eml").arg(n)));
}

QJsonObject PartOfType(const QJsonObject &message, const QString &type)
{
    for (const QJsonValue &p : message.value(QStringLiteral("parts")).toArray()) {
        if (p.toObject().value(QStringLiteral("content_type")).toString() == type)
            return p.toObject();
    }
    return {};
}

// The same message each time it is made: its date and id are fixed.
MailDraft Draft(bool html)
{
    MailDraft draft;
    draft.from = QStringLiteral("Front Desk <desk@example.org>");
    draft.to = QStringLiteral("Ann Able <ann@example.org>;bob@example.org");
    draft.cc = QStringLiteral("caller@clients.example");
    draft.bcc = QStringLiteral("desk@example.org");
    draft.subject = QStringLiteral("Message From: Zoë");
    draft.html = html;
    draft.textBody = QStringLiteral("\r\nFrom: Zoë\r\n\r\nPlease call back.\r\n");
    draft.htmlPage = QString::fromUtf8(kPage);
    draft.importance = 2;
    draft.date = QDateTime(QDate(2026, 12, 11), QTime(9, 30), QTimeZone(3600));
    draft.messageId = "fixed-id@example.org";
    return draft;
}

} // namespace

class MailApiTest : public QObject {
    Q_OBJECT

    QTemporaryDir files_;

    struct Services {
        PythonFixture authorization{QStringLiteral("oauth_server.py")};
        PythonFixture api{QStringLiteral("mail_api_server.py")};
        TokenResult tokens;
    };

    static bool Start(Services &s, const QStringList &more = {})
    {
        if (!s.authorization.start({QStringLiteral("--lifetime"), QStringLiteral("600")}))
            return false;
        if (!s.api.start(QStringList{QStringLiteral("--introspect"), s.authorization.url(QStringLiteral("/introspect"))} +
                         more))
            return false;
        s.tokens = SignInAtOnce(s.authorization, kUser);
        return !s.tokens.accessToken.isEmpty();
    }

    static QString ApiUrl(const Services &s, const QString &service)
    {
        return s.api.url(service == u"graph" ? QStringLiteral("/v1.0") : QString());
    }

    // A signed-in job as the program builds it for a service: no server, no
    // password; the held token and what it takes to get another.
    DeliveryJob Job(const Services &s, const QString &service, const MailDraft &draft,
                    const HeldAccessToken &held = {}) const
    {
        DeliveryJob job;
        job.draft = draft;
        job.userName = kUser.toUtf8();
        SignedInLogin login;
        login.held = held.accessToken.isEmpty() ? HeldAccessToken{s.tokens.accessToken, s.tokens.expiresAt} : held;
        login.refresh = {QUrl(s.authorization.url(QStringLiteral("/token"))), kClientId, {}, {}, s.tokens.refreshToken};
        login.through = service == u"graph" ? SendThrough::Graph : SendThrough::Gmail;
        login.apiUrl = ApiUrl(s, service);
        job.signIn = login;
        job.options.connectTimeout = std::chrono::seconds(5);
        job.options.stallTimeout = std::chrono::seconds(10);
        return job;
    }

    QString Attachment(const QString &name, const QByteArray &bytes)
    {
        const QString path = files_.filePath(name);
        if (!WriteWholeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(files_.isValid()); }

    void sendsThroughTheService_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("html");
        QTest::addColumn<int>("attachmentKiB");
        QTest::addColumn<QString>("upload"); // how the service took it
        for (const QString &service : {QStringLiteral("graph"), QStringLiteral("gmail")}) {
            const bool graph = service == u"graph";
            const QString simple = graph ? QStringLiteral("sendMail") : QStringLiteral("media");
            const QString large = graph ? QStringLiteral("draft") : QStringLiteral("resumable");
            const QByteArray name = service.toLatin1();
            QTest::addRow("%s: text", name.constData()) << service << false << 0 << simple;
            QTest::addRow("%s: html", name.constData()) << service << true << 0 << simple;
            QTest::addRow("%s: html, 1 MB", name.constData()) << service << true << 1024 << simple;
            QTest::addRow("%s: text, 10 MB", name.constData()) << service << false << 10240 << large;
            QTest::addRow("%s: html, 10 MB", name.constData()) << service << true << 10240 << large;
        }
    }

    void sendsThroughTheService()
    {
        QFETCH(QString, service);
        QFETCH(bool, html);
        QFETCH(int, attachmentKiB);
        QFETCH(QString, upload);
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error() + s.authorization.error()));
        DeliveryJob job = Job(s, service, Draft(html));
        const QByteArray file = RandomBytes(attachmentKiB * 1024);
        if (attachmentKiB)
            job.attachmentPath = Attachment(QStringLiteral("Plan ü.bin"), file);

        const DeliveryOutcome outcome = DeliverOnWorker(std::move(job));
        QVERIFY2(outcome.sent, qPrintable(outcome.failure));
        QCOMPARE(s.api.events(upload).size(), 1);
        const QList<QJsonObject> messages = Messages(s.api);
        QCOMPARE(messages.size(), 1);
        const QJsonObject m = messages.first();

        if (upload == u"draft") {
            // Too big for one request: a draft, its attachment in chunks.
            const QJsonObject draft = m.value(QStringLiteral("draft")).toObject();
            QCOMPARE(draft.value(QStringLiteral("subject")).toString(), QStringLiteral("Message From: Zoë"));
            QCOMPARE(draft.value(QStringLiteral("importance")).toString(), QStringLiteral("high"));
            const QJsonObject body = draft.value(QStringLiteral("body")).toObject();
            QCOMPARE(body.value(QStringLiteral("contentType")).toString(), html ? QStringLiteral("HTML") : QStringLiteral("Text"));
            QVERIFY(body.value(QStringLiteral("content")).toString().contains(html ? QStringLiteral("&lt;zoe@") : QStringLiteral("Please call back.")));
            const QJsonArray to = draft.value(QStringLiteral("toRecipients")).toArray();
            QCOMPARE(to.size(), 2);
            QCOMPARE(to.at(0)[QStringLiteral("emailAddress")][QStringLiteral("name")].toString(), QStringLiteral("Ann Able"));
            QCOMPARE(draft.value(QStringLiteral("bccRecipients")).toArray().at(0)[QStringLiteral("emailAddress")][QStringLiteral("address")].toString(),
                     kUser);
            const QJsonObject attached = m.value(QStringLiteral("attachments")).toArray().at(0).toObject();
            QCOMPARE(attached.value(QStringLiteral("name")).toString(), QStringLiteral("Plan ü.bin"));
            QCOMPARE(attached.value(QStringLiteral("sha256")).toString(), Sha256(file));
            QVERIFY(s.api.events(QStringLiteral("chunk")).size() >= 3);
            return;
        }
        // The message itself, as a mail program reads it.
        QCOMPARE(m.value(QStringLiteral("defects")).toArray().size(), 0);
        QVERIFY(m.value(QStringLiteral("bcc")).toString().contains(kUser));
        const QJsonObject text = PartOfType(m, QStringLiteral("text/plain"));
        QVERIFY(text.value(QStringLiteral("text")).toString().contains(html ? QStringLiteral("Zoë <zoe@example.org>")
                                                                             : QStringLiteral("Please call back.")));
        if (html)
            QCOMPARE(PartOfType(m, QStringLiteral("text/html")).value(QStringLiteral("text")).toString(), QString::fromUtf8(kPage));
        if (attachmentKiB)
            QCOMPARE(PartOfType(m, QStringLiteral("application/octet-stream")).value(QStringLiteral("sha256")).toString(),
                     Sha256(file));
    }

    // The same message goes out as the same bytes through SMTP, Graph and
    // Gmail; the two services get the Bcc header besides, which they take
    // the blind copy from and remove, where SMTP has it on the envelope.
    void theSameBytesEverywhere()
    {
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error()));
        SmtpTestServer smtp;
        QVERIFY2(smtp.start(), qPrintable(smtp.error()));
        const QString attachment = Attachment(QStringLiteral("photo.png"), RandomBytes(40 * 1024));

        DeliveryJob overSmtp;
        overSmtp.draft = Draft(true);
        overSmtp.attachmentPath = attachment;
        overSmtp.server = QStringLiteral("127.0.0.1");
        overSmtp.port = smtp.port();
        DeliveryOutcome outcome = DeliverOnWorker(std::move(overSmtp));
        QVERIFY2(outcome.sent, qPrintable(outcome.failure));
        for (const char *service : {"graph", "gmail"}) {
            DeliveryJob job = Job(s, QString::fromLatin1(service), Draft(true));
            job.attachmentPath = attachment;
            outcome = DeliverOnWorker(std::move(job));
            QVERIFY2(outcome.sent, qPrintable(outcome.failure));
        }
        const QByteArray viaSmtp = MessageFile(smtp, 1);
        QVERIFY(!viaSmtp.isEmpty());
        QVERIFY(!viaSmtp.contains("\r\nBcc:"));
        const QByteArray bcc = "Bcc: " + kUser.toUtf8() + "\r\n";
        for (int n : {1, 2}) {
            QByteArray viaService = MessageFile(s.api, n);
            QCOMPARE(viaService.count(bcc), qsizetype(1));
            viaService.replace(bcc, QByteArray());
            QCOMPARE(viaService, viaSmtp);
        }
    }

    // Failures read in the service's own words, and say what they mean.
    void failuresInTheServicesWords_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("later");
        QTest::addColumn<bool>("signInAgain");
        QTest::newRow("graph: missing permission") << "graph" << 403
            << "Microsoft 365 answered 403 ErrorAccessDenied: Access is denied." << false << true;
        QTest::newRow("graph: throttled") << "graph" << 429
            << "Microsoft 365 answered 429 ApplicationThrottled: Application is over its MailboxConcurrency limit." << true << false;
        QTest::newRow("graph: unavailable") << "graph" << 503
            << "Microsoft 365 answered 503 ServiceNotAvailable: Service unavailable." << true << false;
        QTest::newRow("gmail: missing scope") << "gmail" << 403
            << "Gmail answered 403 PERMISSION_DENIED: Request had insufficient authentication scopes." << false << true;
        QTest::newRow("gmail: rate limit") << "gmail" << 429
            << "Gmail answered 429 RESOURCE_EXHAUSTED: User-rate limit exceeded." << true << false;
        QTest::newRow("gmail: unavailable") << "gmail" << 503
            << "Gmail answered 503 UNAVAILABLE: The service is currently unavailable." << true << false;
    }

    void failuresInTheServicesWords()
    {
        QFETCH(QString, service);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QFETCH(bool, later);
        QFETCH(bool, signInAgain);
        Services s;
        QVERIFY2(Start(s, {QStringLiteral("--fail"), QStringLiteral("1"), QString::number(status),
                           QStringLiteral("--retry-after"), QStringLiteral("7")}),
                 qPrintable(s.api.error()));
        const DeliveryOutcome outcome = DeliverOnWorker(Job(s, service, Draft(false)));
        QVERIFY(!outcome.sent);
        QVERIFY2(outcome.failure.startsWith(reason), qPrintable(outcome.failure));
        QCOMPARE(outcome.failure.contains(QStringLiteral("Sign in again")), signInAgain);
        QCOMPARE(outcome.mayWorkLater, later);
        QCOMPARE(outcome.retryAfter, later ? 7 : -1);
        QVERIFY(!outcome.failure.contains(QString::fromLatin1(s.tokens.accessToken)));
        QVERIFY(Messages(s.api).isEmpty());
    }

    // A held token the service no longer takes (401) is replaced once from
    // the refresh token; a sign-in revoked at the provider says so.
    void refusedTokenIsRefreshedOnce_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<bool>("revoked");
        for (const QString &service : {QStringLiteral("graph"), QStringLiteral("gmail")}) {
            const QByteArray name = service.toLatin1();
            QTest::addRow("%s: taken back early", name.constData()) << service << false;
            QTest::addRow("%s: sign-in revoked", name.constData()) << service << true;
        }
    }

    void refusedTokenIsRefreshedOnce()
    {
        QFETCH(QString, service);
        QFETCH(bool, revoked);
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error()));
        if (revoked)
            QVERIFY(RevokeAtProvider(s.authorization, s.tokens.refreshToken));
        const qsizetype before = s.authorization.events(QStringLiteral("token")).size();
        // Held with an hour left, but the service has never heard of it.
        const HeldAccessToken stale{"at-taken-back", QDateTime::currentDateTimeUtc().addSecs(3600)};
        const DeliveryOutcome outcome = DeliverOnWorker(Job(s, service, Draft(false), stale));
        QCOMPARE(s.authorization.events(QStringLiteral("token")).size(), before + 1);
        if (revoked) {
            QVERIFY(!outcome.sent);
            QVERIFY2(outcome.failure.contains(QStringLiteral("sign in again"), Qt::CaseInsensitive), qPrintable(outcome.failure));
            QVERIFY(Messages(s.api).isEmpty());
            return;
        }
        QVERIFY2(outcome.sent, qPrintable(outcome.failure));
        QCOMPARE(Messages(s.api).size(), 1);
        QVERIFY(!outcome.accessToken.accessToken.isEmpty());
        QVERIFY(outcome.accessToken.accessToken != stale.accessToken);
    }

    // The provider's token address cannot be reached: the sign-in itself
    // is fine, and the same send may go through later.
    void unreachableProviderMayWorkLater()
    {
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error()));
        DeliveryJob job = Job(s, QStringLiteral("gmail"), Draft(false), {"at-old", QDateTime::currentDateTimeUtc()});
        job.signIn->refresh.tokenUrl = QUrl(QStringLiteral("http://127.0.0.1:%1/token").arg(UnusedPort()));
        const DeliveryOutcome outcome = DeliverOnWorker(std::move(job));
        QVERIFY(!outcome.sent);
        QVERIFY(outcome.mayWorkLater);
        QVERIFY(Messages(s.api).isEmpty());
    }

    // Gmail takes 35 MB at most: a bigger message is refused before a byte
    // goes, with what to do about it.
    void gmailSizeLimit()
    {
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error()));
        DeliveryJob job = Job(s, QStringLiteral("gmail"), Draft(false));
        job.attachmentPath = Attachment(QStringLiteral("huge.bin"), QByteArray(27 * 1024 * 1024, 'z'));
        const DeliveryOutcome outcome = DeliverOnWorker(std::move(job));
        QVERIFY(!outcome.sent);
        QVERIFY2(outcome.failure.contains(QStringLiteral("more than Gmail takes (35 MB)")), qPrintable(outcome.failure));
        QVERIFY(s.api.events(QStringLiteral("resumable")).isEmpty());
    }

    // An API address is https, or plain http to this machine only.
    void apiAddressMustBeHttps()
    {
        Services s;
        QVERIFY2(Start(s), qPrintable(s.api.error()));
        DeliveryJob job = Job(s, QStringLiteral("graph"), Draft(false));
        job.signIn->apiUrl = QStringLiteral("http://graph.example.org/v1.0");
        const DeliveryOutcome outcome = DeliverOnWorker(std::move(job));
        QVERIFY(!outcome.sent);
        QVERIFY2(outcome.failure.contains(QStringLiteral("must begin with https://")), qPrintable(outcome.failure));
    }
};

QTEST_GUILESS_MAIN(MailApiTest)
#include "test_mail_api.moc"
