#include "SmtpTestServer.h"
#include "TestSupport.h"

#include "app/ProgramLibraries.h"
#include "app/SendMail.h"
#include "message/OutgoingMessage.h"
#include "message/RenderMessage.h"
#include "store/InvertText.h"
#include "store/StoredData.h"
#include "store/TextField.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QtTest>

#include <future>

// SendMail end to end against a real SMTP server (aiosmtpd): what arrives is
// read back as Python's e-mail parser sees it, the way a mail program would.
// The job is made from the settings as the program makes it, and goes
// through the mail library the program opens.
namespace {

const QString kTo = QStringLiteral("ann@example.org;;bob@example.org");
const QString kSubject = QStringLiteral("Message From: Zoë Ångström");
const QString kUser = QStringLiteral("desk");
const QString kPassword = QStringLiteral("s3cret pässword");
const QString kCallerEmail = QStringLiteral("caller@clients.example");

// A text body with what trips SMTP up: lines of a lone dot and leading dots
// (dot-stuffing), a line longer than SMTP's 998, text that is not ASCII,
// an equals sign and blanks at a line's end (quoted-printable).
QString TextBody()
{
    return QStringLiteral("\r\nDate: 1/02/2024\r\nFrom: Zoë Ångström\r\n\r\nMessage: \r\n\r\n.\r\n..two dots\r\n") +
           QString(1500, u'x') + QStringLiteral("\r\na=3D b, a tab\t and blanks at the end  \r\nend\r\n");
}

const char kPage[] = "<table><tr><td>From:</td><td>Zo\xc3\xab</td></tr><tr><td colspan=\"2\"><br>\r\n"
                     "ab\r\n<br>c&nbsp;d<ul><li>URGENT</li>\r\n</ul><p>\r\n</td></tr></table><br></body></html>\r\n";
const char kPageText[] = "From: Zo\xc3\xab\r\n\r\nab\r\nc d\r\n- URGENT";

QByteArray Png()
{
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
}

QString Sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QStringList Strings(const QJsonValue &array)
{
    QStringList out;
    for (const QJsonValue &v : array.toArray())
        out.append(v.toString());
    return out;
}

QStringList HeaderNames(const QJsonObject &message)
{
    QStringList out;
    for (const QJsonValue &header : message.value(QStringLiteral("headers")).toArray())
        out.append(header.toArray().at(0).toString());
    return out;
}

QString Header(const QJsonObject &message, const QString &name)
{
    for (const QJsonValue &header : message.value(QStringLiteral("headers")).toArray()) {
        if (header.toArray().at(0).toString().compare(name, Qt::CaseInsensitive) == 0)
            return header.toArray().at(1).toString();
    }
    return {};
}

QStringList Addresses(const QJsonObject &message, const QString &field)
{
    QStringList out;
    for (const QJsonValue &a : message.value(QStringLiteral("addresses")).toObject().value(field).toArray())
        out.append(a.toObject().value(QStringLiteral("addr_spec")).toString());
    return out;
}

QList<QJsonObject> Parts(const QJsonObject &message)
{
    QList<QJsonObject> out;
    for (const QJsonValue &p : message.value(QStringLiteral("parts")).toArray())
        out.append(p.toObject());
    return out;
}

QJsonObject PartOfType(const QJsonObject &message, const QString &type)
{
    for (const QJsonObject &part : Parts(message)) {
        if (part.value(QStringLiteral("content_type")).toString() == type)
            return part;
    }
    return {};
}

// The settings and the rendered message at Send time.
struct SendState : StoredData {
    OutgoingMessage message;
};

QString LibraryFolder()
{
    return LibraryFolder(QCoreApplication::applicationDirPath());
}

void StorePassword(StoredData &state, const QByteArray &clear)
{
    std::array<char, 128> field{};
    std::copy_n(clear.constData(), std::min<qsizetype>(clear.size(), 127), field.begin());
    InvertText(field, state.settings.smtpPassword);
}

} // namespace

// The message with one addressee in place of the usual two.
const SendState &To(SendState &state, const QString &to)
{
    state.message.toList = to;
    return state;
}

class TestMailDelivery : public QObject {
    Q_OBJECT

    QTemporaryDir certificates_;
    QTemporaryDir files_;

    QString cert() const { return certificates_.filePath(QStringLiteral("cert.pem")); }
    QString key() const { return certificates_.filePath(QStringLiteral("key.pem")); }

    // The fixture's options for one way of reaching it.
    QStringList ServerArguments(const QString &transport) const
    {
        const QStringList login{QStringLiteral("--user"), kUser, QStringLiteral("--password"), kPassword,
                                QStringLiteral("--auth-required")};
        if (transport == u"starttls-auth")
            return QStringList{QStringLiteral("--starttls"), cert(), key()} + login;
        if (transport == u"implicit-auth")
            return QStringList{QStringLiteral("--implicit-tls"), cert(), key()} + login;
        return {};
    }

    // A profile as the program would hold it at Send time, aimed at server.
    void Prepare(SendState &state, int port, const QString &transport = QStringLiteral("plain"))
    {
        state.activeSmtpServer = QStringLiteral("127.0.0.1");
        state.settings.smtpPort = port;
        WriteTextField(state.settings.senderName, QStringLiteral("Smith, Jane"));
        WriteTextField(state.settings.senderAddress, QStringLiteral("desk@example.org"));
        WriteTextField(state.settings.smtpUserName, kUser);
        StorePassword(state, kPassword.toUtf8());
        state.settings.useAuthentication = transport == u"plain" ? 0 : 1;
        state.message.callerEmail = kCallerEmail;
        state.message.importance = 1;
        state.message.toList = kTo;
        state.message.subject = kSubject;
        state.message.textBody = TextBody();
    }

    static SendMailOutcome Send(const SendState &state, const MailTransportOptions &options)
    {
        return Send(state, state.message, options);
    }

    static SendMailOutcome Send(const StoredData &state, const OutgoingMessage &message,
                                const MailTransportOptions &options)
    {
        return SendMailWithReason(MakeDeliveryJob(state, message, options), LibraryFolder());
    }

    MailTransportOptions Options(const SmtpTestServer &server, const QString &transport = QString()) const
    {
        MailTransportOptions options;
        options.certificateAuthorityFile = cert();
        options.connectTimeout = std::chrono::seconds(3);
        options.stallTimeout = std::chrono::seconds(2);
        if (transport == u"implicit-auth")
            options.implicitTlsPort = server.port();
        return options;
    }

    QString WriteFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = files_.filePath(name);
        if (!WriteWholeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    static void UseHtml(SendState &state)
    {
        state.message.html = true;
        state.message.htmlPage = QString::fromUtf8(kPage);
    }

    void Attach(SendState &state, const QString &name, const QByteArray &bytes)
    {
        state.message.attachmentPath = WriteFile(name, bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(certificates_.isValid() && files_.isValid());
        QVERIFY2(MakeTestCertificate(certificates_.path()), "openssl could not make a test certificate");
    }

    void happyPaths_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<bool>("html");
        QTest::addColumn<bool>("attachment");
        QTest::addColumn<bool>("cc");
        QTest::addColumn<bool>("bcc");
        QTest::addColumn<int>("importance");
        for (const char *transport : {"plain", "starttls-auth", "implicit-auth"}) {
            QTest::addRow("%s: text", transport) << transport << false << false << false << false << 1;
            QTest::addRow("%s: text, attachment, low", transport) << transport << false << true << false << true << 0;
            QTest::addRow("%s: html, attachment, cc, bcc, high", transport) << transport << true << true << true << true << 2;
            QTest::addRow("%s: html, cc", transport) << transport << true << false << true << false << 1;
        }
    }

    void happyPaths()
    {
        QFETCH(QString, transport);
        QFETCH(bool, html);
        QFETCH(bool, attachment);
        QFETCH(bool, cc);
        QFETCH(bool, bcc);
        QFETCH(int, importance);

        SmtpTestServer server;
        QVERIFY2(server.start(ServerArguments(transport)), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port(), transport);
        state.settings.ccCaller = cc ? 1 : 0;
        state.settings.bccToSender = bcc ? 1 : 0;
        state.message.importance = importance;
        state.message.textBody = html ? QStringLiteral("STALE TEXT FROM AN EARLIER MESSAGE") : TextBody();
        if (html)
            UseHtml(state);
        if (attachment)
            Attach(state, QStringLiteral("Floor plan ü.png"), Png());

        const SendMailOutcome outcome = Send(state, Options(server, transport));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));

        const QList<QJsonObject> messages = server.messages();
        QCOMPARE(messages.size(), 1);
        const QJsonObject m = messages.first();

        // Envelope: the To list without its empty element, the caller's copy,
        // the blind copy; the session as the transport promises.
        QStringList envelope{QStringLiteral("ann@example.org"), QStringLiteral("bob@example.org")};
        if (cc)
            envelope.append(kCallerEmail);
        if (bcc)
            envelope.append(QStringLiteral("desk@example.org"));
        QCOMPARE(m.value("mail_from").toString(), QStringLiteral("desk@example.org"));
        QCOMPARE(Strings(m.value("rcpt_tos")), envelope);
        QCOMPARE(m.value("tls").toBool(), transport != u"plain");
        QCOMPARE(m.value("authenticated_as").toString(), transport == u"plain" ? QString() : kUser);

        // Headers as a mail program reads them.
        const QJsonObject from = m.value("addresses").toObject().value("from").toArray().at(0).toObject();
        QCOMPARE(from.value("display_name").toString(), QStringLiteral("Smith, Jane"));
        QCOMPARE(from.value("addr_spec").toString(), QStringLiteral("desk@example.org"));
        QCOMPARE(Addresses(m, "to"), (QStringList{"ann@example.org", "bob@example.org"}));
        QCOMPARE(Addresses(m, "cc"), cc ? QStringList{kCallerEmail} : QStringList());
        QVERIFY(!HeaderNames(m).contains("Bcc", Qt::CaseInsensitive));
        QCOMPARE(Header(m, "Subject"), kSubject);
        const char *words[] = {"low", "normal", "high"};
        const char *priorities[] = {"5 (Lowest)", "3 (Normal)", "1 (Highest)"};
        QCOMPARE(Header(m, "Importance"), QString::fromLatin1(words[importance]));
        QCOMPARE(Header(m, "X-Priority"), QString::fromLatin1(priorities[importance]));
        QVERIFY(m.value("date_valid").toBool());
        QVERIFY(Header(m, "Message-ID").startsWith(u'<'));
        QCOMPARE(Header(m, "MIME-Version"), QStringLiteral("1.0"));
        QCOMPARE(m.value("defects").toArray().size(), 0);
        QVERIFY(m.value("max_line_length").toInt() <= 998);
        QCOMPARE(m.value("bare_line_feeds").toInt(), 0);

        // Body tree.
        QStringList types;
        for (const QJsonObject &part : Parts(m))
            types.append(part.value("content_type").toString());
        // A text without attachment is one text/plain part, and a page
        // without one is one alternative, with no multipart around either.
        QStringList expectedTypes;
        if (attachment)
            expectedTypes << QStringLiteral("multipart/mixed");
        if (html)
            expectedTypes << QStringLiteral("multipart/alternative") << QStringLiteral("text/plain") << QStringLiteral("text/html");
        else
            expectedTypes << QStringLiteral("text/plain");
        if (attachment)
            expectedTypes << QStringLiteral("image/png");
        QCOMPARE(types, expectedTypes);

        const QJsonObject plain = PartOfType(m, "text/plain");
        QCOMPARE(plain.value("charset").toString(), QStringLiteral("utf-8"));
        if (html) {
            const QJsonObject page = PartOfType(m, "text/html");
            QCOMPARE(page.value("charset").toString(), QStringLiteral("utf-8"));
            QCOMPARE(page.value("text").toString(), QString::fromUtf8(kPage));
            QCOMPARE(plain.value("text").toString(), QString::fromUtf8(kPageText));
        } else {
            QCOMPARE(plain.value("text").toString(), TextBody());
        }
        QVERIFY(!QJsonDocument(m).toJson().contains("STALE TEXT"));
        // Its size was declared before it was sent, and is what arrived.
        QCOMPARE(Strings(m.value("mail_options")), QStringList{QStringLiteral("SIZE=%1").arg(m.value("size").toInt())});
        // The greeting names this machine in full, or by its address.
        const QString ehlo = m.value("ehlo").toString();
        QVERIFY2(ehlo == u"[127.0.0.1]" || (ehlo.count(u'.') >= 1 && !ehlo.startsWith(u'[')), qPrintable(ehlo));
        if (attachment) {
            const QJsonObject file = PartOfType(m, "image/png");
            QCOMPARE(file.value("filename").toString(), QStringLiteral("Floor plan ü.png"));
            QCOMPARE(file.value("disposition").toString(), QStringLiteral("attachment"));
            QCOMPARE(file.value("sha256").toString(), Sha256(Png()));
        }
    }

    void callerCopy_data()
    {
        QTest::addColumn<int>("ccCaller");
        QTest::addColumn<QString>("callerEmail");
        QTest::addColumn<bool>("copied");
        QTest::newRow("address with @") << 1 << "jane@clients.example" << true;
        QTest::newRow("no other test on the address") << 1 << "jane@clients" << true;
        QTest::newRow("no @: copy dropped") << 1 << "jane.clients.example" << false;
        QTest::newRow("copy off") << 0 << "jane@clients.example" << false;
        QTest::newRow("only 1 is on") << 2 << "jane@clients.example" << false;
    }

    void callerCopy()
    {
        QFETCH(int, ccCaller);
        QFETCH(QString, callerEmail);
        QFETCH(bool, copied);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        state.settings.ccCaller = ccCaller;
        state.message.callerEmail = callerEmail;
        const SendMailOutcome outcome =
            Send(To(state, QStringLiteral("ann@example.org")), Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QJsonObject m = server.messages().value(0);
        const QStringList envelope = copied ? QStringList{"ann@example.org", callerEmail} : QStringList{"ann@example.org"};
        QCOMPARE(Strings(m.value("rcpt_tos")), envelope);
        QCOMPARE(HeaderNames(m).contains("Cc"), copied);
    }

    // A caller address of just "@" is copied as given: it goes on the
    // envelope as RCPT TO:<@>. A server refuses that, and a refused recipient
    // fails the whole send, so the user is told to check the addresses
    // rather than the copy vanishing without a word.
    void callerAddressOfJustAtFailsWhenRefused()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        state.settings.ccCaller = 1;
        state.message.callerEmail = QStringLiteral("@");
        QCOMPARE(Send(To(state, QStringLiteral("ann@example.org")), Options(server)).result, 1);
        QVERIFY(server.messages().isEmpty());
    }

    void blindCopy_data()
    {
        QTest::addColumn<int>("bccToSender");
        QTest::addColumn<QString>("senderAddress");
        QTest::addColumn<QStringList>("envelope"); // empty: nothing is sent
        QTest::newRow("blind copy") << 1 << "desk@example.org" << QStringList{"ann@example.org", "desk@example.org"};
        // The From is made from the same address: a mail from nobody is
        // refused before it starts, so no blind copy goes to nobody either.
        QTest::newRow("empty address sends nothing") << 1 << "" << QStringList{};
        QTest::newRow("blind copy off") << 0 << "desk@example.org" << QStringList{"ann@example.org"};
    }

    void blindCopy()
    {
        QFETCH(int, bccToSender);
        QFETCH(QString, senderAddress);
        QFETCH(QStringList, envelope);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        state.settings.bccToSender = bccToSender;
        WriteTextField(state.settings.senderAddress, senderAddress);
        const SendMailOutcome outcome =
            Send(To(state, QStringLiteral("ann@example.org")), Options(server));
        if (envelope.isEmpty()) {
            QCOMPARE(outcome.result, 1);
            QVERIFY(server.messages().isEmpty());
            return;
        }
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QJsonObject m = server.messages().value(0);
        QCOMPARE(Strings(m.value("rcpt_tos")), envelope);
        QVERIFY(!HeaderNames(m).contains("Bcc", Qt::CaseInsensitive));
    }

    // Addresses as people write them: a name with the address, an entry
    // holding a list, a caller's address pasted from a mail program. Every
    // address is delivered, bare on the envelope, the names kept in the
    // headers; in text and in HTML mail alike.
    void addressesAsPeopleWriteThem_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("callerEmail");
        QTest::addColumn<QStringList>("envelope");
        QTest::addColumn<QStringList>("toNames");
        QTest::addColumn<QString>("ccName");
        const QString none;
        for (const bool html : {false, true}) {
            const char *mode = html ? "html" : "text";
            QTest::addRow("%s: name and address", mode)
                << "Bob Smith <bob@example.org>;ann@example.org" << none
                << QStringList{"bob@example.org", "ann@example.org"} << QStringList{"Bob Smith", ""} << none;
            QTest::addRow("%s: a list in one entry, commas", mode)
                << "carol@example.org, dave@example.org" << none
                << QStringList{"carol@example.org", "dave@example.org"} << QStringList{"", ""} << none;
            QTest::addRow("%s: a list in one entry, semicolons", mode)
                << "ann@example.org;carol@example.org; dave@example.org" << none
                << QStringList{"ann@example.org", "carol@example.org", "dave@example.org"} << QStringList{"", "", ""}
                << none;
            QTest::addRow("%s: caller pasted with a name", mode)
                << "ann@example.org" << "Jane Roe <jane@example.org>"
                << QStringList{"ann@example.org", "jane@example.org"} << QStringList{""} << "Jane Roe";
            QTest::addRow("%s: names with a comma and not in ASCII", mode)
                << "\"Smith, Bob\" <bob@example.org>, Zo\u00eb \u00c5ngstr\u00f6m <zoe@example.org>" << none
                << QStringList{"bob@example.org", "zoe@example.org"}
                << QStringList{"Smith, Bob", "Zo\u00eb \u00c5ngstr\u00f6m"} << none;
        }
    }

    void addressesAsPeopleWriteThem()
    {
        QFETCH(QString, to);
        QFETCH(QString, callerEmail);
        QFETCH(QStringList, envelope);
        QFETCH(QStringList, toNames);
        QFETCH(QString, ccName);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        if (QString::fromLatin1(QTest::currentDataTag()).startsWith(u"html"))
            UseHtml(state);
        state.settings.ccCaller = callerEmail.isEmpty() ? 0 : 1;
        state.message.callerEmail = callerEmail;

        const SendMailOutcome outcome = Send(To(state, to), Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QJsonObject m = server.messages().value(0);
        QCOMPARE(Strings(m.value("rcpt_tos")), envelope);
        QStringList names;
        for (const QJsonValue &a : m.value("addresses").toObject().value("to").toArray())
            names.append(a.toObject().value("display_name").toString());
        QCOMPARE(names, toNames);
        QCOMPARE(Addresses(m, "to"), envelope.mid(0, toNames.size()));
        const QJsonArray cc = m.value("addresses").toObject().value("cc").toArray();
        QCOMPARE(cc.at(0).toObject().value("display_name").toString(), ccName);
        QCOMPARE(m.value("defects").toArray().size(), 0);
    }

    // What cannot be an address fails the send before it starts, and the
    // reason names the entry, so the user knows which one to mend.
    void unusableAddressesAreNamed_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("callerEmail");
        QTest::addColumn<QString>("named");
        QTest::newRow("no @ in a list") << "carol@example.org, dave.example.org" << "" << "dave.example.org";
        QTest::newRow("unclosed angle bracket") << "Bob <bob@example.org" << "" << "Bob <bob@example.org";
        QTest::newRow("blank inside the address") << "bob@exa mple.org" << "" << "bob@exa mple.org";
        QTest::newRow("caller's address with a line break") << "ann@example.org" << "Jane <jane@example.org>\r\nX"
                                                          << "Jane <jane@example.org>";
    }

    void unusableAddressesAreNamed()
    {
        QFETCH(QString, to);
        QFETCH(QString, callerEmail);
        QFETCH(QString, named);
        SmtpTestServer server;
        QVERIFY2(server.start({"--behaviour", "silent"}), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        state.settings.ccCaller = 1;
        state.message.callerEmail = callerEmail;
        const SendMailOutcome outcome = Send(To(state, to), Options(server));
        QCOMPARE(outcome.result, 1);
        QVERIFY2(outcome.failure.contains(named), qPrintable(outcome.failure));
        QVERIFY(server.events("connect").isEmpty());
    }

    // A mail from nobody (MAIL FROM:<>) cannot be answered and its bounces
    // are thrown away: without a sender address nothing is sent at all.
    void noSenderAddressFailsBeforeConnecting_data()
    {
        QTest::addColumn<QString>("senderName");
        QTest::addColumn<QString>("senderAddress");
        QTest::newRow("fresh profile") << "" << "";
        QTest::newRow("name only") << "Reception" << "";
        QTest::newRow("blanks only") << "Reception" << "  ";
    }

    void noSenderAddressFailsBeforeConnecting()
    {
        QFETCH(QString, senderName);
        QFETCH(QString, senderAddress);
        SmtpTestServer server;
        QVERIFY2(server.start({"--behaviour", "silent"}), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        WriteTextField(state.settings.senderName, senderName);
        WriteTextField(state.settings.senderAddress, senderAddress);
        const SendMailOutcome outcome = Send(state, Options(server));
        QCOMPARE(outcome.result, 1);
        QVERIFY(outcome.failure.contains(QStringLiteral("sender")));
        QVERIFY(server.events("connect").isEmpty());
    }

    void credentials_data()
    {
        QTest::addColumn<int>("useAuthentication");
        QTest::addColumn<QByteArray>("stored");        // the stored field, already inverted
        QTest::addColumn<QString>("serverPassword");
        QTest::addColumn<QString>("mechanisms");
        QTest::addColumn<bool>("loggedIn");

        auto inverted = [](const QByteArray &clear) {
            QByteArray out;
            for (char c : clear)
                out.append(static_cast<char>(~static_cast<unsigned char>(c)));
            return out;
        };
        QTest::newRow("auth off: no credentials, though stored") << 0 << inverted("s3cret") << "s3cret" << "LOGIN,PLAIN" << false;
        QTest::newRow("only 1 is on") << 2 << inverted("s3cret") << "s3cret" << "LOGIN,PLAIN" << false;
        QTest::newRow("AUTH LOGIN") << 1 << inverted("s3cret") << "s3cret" << "LOGIN" << true;
        QTest::newRow("AUTH PLAIN") << 1 << inverted("s3cret") << "s3cret" << "PLAIN" << true;
        QTest::newRow("UTF-8 password") << 1 << inverted("p\xc3\xa4sswort") << QString::fromUtf8("p\xc3\xa4sswort") << "LOGIN,PLAIN" << true;
        QTest::newRow("empty stored password") << 1 << QByteArray() << "" << "PLAIN" << true;
        // Bytes after the first zero byte are not part of the password.
        QTest::newRow("recovered up to the first zero") << 1 << inverted("secret") + QByteArray(1, '\0') + inverted("junk")
                                                        << "secret" << "LOGIN,PLAIN" << true;
    }

    void credentials()
    {
        QFETCH(int, useAuthentication);
        QFETCH(QByteArray, stored);
        QFETCH(QString, serverPassword);
        QFETCH(QString, mechanisms);
        QFETCH(bool, loggedIn);
        SmtpTestServer server;
        // AUTH offered after STARTTLS but not required, so a send without
        // credentials goes through and shows that none were sent.
        QVERIFY2(server.start({"--starttls", cert(), key(), "--user", kUser, "--password", serverPassword, "--mechanisms",
                               mechanisms}),
                 qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port(), QStringLiteral("starttls-auth"));
        state.settings.useAuthentication = useAuthentication;
        state.settings.smtpPassword.fill(0);
        std::copy(stored.begin(), stored.end(), state.settings.smtpPassword.begin());

        const SendMailOutcome outcome = Send(state, Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QList<QJsonObject> attempts = server.events("auth");
        QCOMPARE(attempts.size(), loggedIn ? 1 : 0);
        QCOMPARE(server.messages().value(0).value("authenticated_as").toString(), loggedIn ? kUser : QString());
        if (loggedIn) {
            QCOMPARE(attempts[0].value("password").toString(), serverPassword);
            QCOMPARE(attempts[0].value("login").toString(), kUser);
            QVERIFY(attempts[0].value("tls").toBool());
            QVERIFY(attempts[0].value("success").toBool());
        }
    }

    // Every way a send can go wrong ends in 1, soon, with nothing delivered
    // and the clear password gone.
    void failuresReturnOne_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *fault : {"connection refused", "silent server", "server silent after the message",
                                  "recipient refused", "message refused after data",
                                  "wrong password", "connection dropped mid-data", "attachment deleted after choosing",
                                  "port 0", "port 70000", "untrusted certificate with auth",
                                  "auth to a server without TLS taken as remote", "TLS spoken to a plain server",
                                  "no server name", "name not resolved", "recipient deferred",
                                  "message too big for the server", "unusable recipient address"})
            QTest::newRow(fault) << fault;
    }

    void failuresReturnOne()
    {
        QFETCH(QString, fault);
        SmtpTestServer server;
        QStringList arguments;
        QString transport = QStringLiteral("plain");
        if (fault == u"silent server")
            arguments = {"--behaviour", "silent"};
        else if (fault == u"server silent after the message")
            arguments = {"--behaviour", "stall-after-data"};
        else if (fault == u"recipient refused")
            arguments = {"--reject-rcpt", "bob@example.org"};
        else if (fault == u"recipient deferred")
            arguments = {"--defer-rcpt", "bob@example.org"};
        else if (fault == u"message too big for the server")
            arguments = {"--size-limit", "1000"};
        else if (fault == u"message refused after data")
            arguments = {"--reject-data"};
        else if (fault == u"connection dropped mid-data")
            arguments = {"--behaviour", "drop-mid-data"};
        else if (fault == u"wrong password" || fault == u"untrusted certificate with auth") {
            transport = QStringLiteral("starttls-auth");
            arguments = ServerArguments(transport);
        } else if (fault == u"auth to a server without TLS taken as remote") {
            // AUTH offered in the clear, no STARTTLS.
            transport = QStringLiteral("starttls-auth");
            arguments = {"--user", kUser, "--password", kPassword, "--auth-required"};
        }
        if (fault != u"connection refused")
            QVERIFY2(server.start(arguments), qPrintable(server.error()));

        SendState state;
        Prepare(state, fault == u"connection refused" ? UnusedPort() : server.port(), transport);
        MailTransportOptions options = Options(server, transport);
        if (fault == u"wrong password")
            StorePassword(state, "not the password");
        else if (fault == u"untrusted certificate with auth") {
            // As a remote server would be: the system's store does not know it.
            options.certificateAuthorityFile.clear();
            options.loopbackMaySkipTls = false;
        }
        else if (fault == u"auth to a server without TLS taken as remote")
            options.loopbackMaySkipTls = false;
        else if (fault == u"TLS spoken to a plain server")
            options.implicitTlsPort = server.port();
        else if (fault == u"port 0")
            state.settings.smtpPort = 0;
        else if (fault == u"port 70000")
            state.settings.smtpPort = 70000;
        else if (fault == u"no server name")
            state.activeSmtpServer = QStringLiteral("   ");
        else if (fault == u"name not resolved")
            state.activeSmtpServer = QStringLiteral("no-such-host.invalid");
        else if (fault == u"unusable recipient address")
            state.message.toList = QStringLiteral("ann@example.org;Bob <bob@example.org");
        else if (fault == u"message too big for the server")
            Attach(state, QStringLiteral("big.bin"), QByteArray(4000, 'b'));
        else if (fault == u"attachment deleted after choosing") {
            Attach(state, QStringLiteral("deleted.pdf"), "%PDF-1.4\n");
            QVERIFY(QFile::remove(state.message.attachmentPath));
        } else if (fault == u"connection dropped mid-data") {
            // Big enough that the server hangs up while it is still arriving.
            Attach(state, QStringLiteral("big.bin"), QByteArray(2 * 1024 * 1024, 'z'));
        }

        const SendMailOutcome outcome = Send(state, options);
        QCOMPARE(outcome.result, 1);
        QVERIFY(!outcome.failure.isEmpty());
        QVERIFY(server.messages().isEmpty());

        if (fault == u"recipient refused")
            QCOMPARE(server.events("rcpt-rejected").size(), 1);
        if (fault == u"message refused after data")
            QCOMPARE(server.events("data-rejected").size(), 1);
        if (fault == u"connection dropped mid-data")
            QCOMPARE(server.events("dropped").size(), 1);
        if (fault == u"silent server")
            QCOMPARE(server.events("connect").size(), 1);
        // It had the whole message but never said it took it: not sent.
        if (fault == u"server silent after the message")
            QCOMPARE(server.events("stalled").size(), 1);
        if (fault == u"wrong password")
            QCOMPARE(server.events("auth").value(0).value("success").toBool(true), false);
        // The reason the error dialog shows quotes the server's own answer.
        const QHash<QString, QString> replies = {
            {QStringLiteral("recipient refused"), QStringLiteral("550 5.1.1 Recipient address rejected")},
            {QStringLiteral("message refused after data"), QStringLiteral("554 5.7.1 Message rejected")},
            {QStringLiteral("wrong password"), QStringLiteral("535 5.7.8 Authentication credentials invalid")},
        };
        if (replies.contains(fault))
            QVERIFY2(outcome.failure.contains(replies.value(fault)), qPrintable(outcome.failure));
        // Whether the same send may go through later by itself, or needs the
        // user to mend something first.
        const QStringList later = {"connection refused", "silent server", "server silent after the message",
                                   "connection dropped mid-data", "name not resolved", "recipient deferred"};
        QCOMPARE(outcome.mayWorkLater, later.contains(fault));
        // Credentials never go to a server that is not trusted, nor in the clear.
        if (fault == u"untrusted certificate with auth" || fault == u"auth to a server without TLS taken as remote")
            QCOMPARE(server.events("auth").size(), 0);
    }

    // The machine's name as EHLO gives it: a full name as it stands, a short
    // one that resolves to nothing fuller as the address the connection
    // leaves from. A server that wants a full name would refuse "desk1".
    void ehloGivesAFullNameOrTheAddress_data()
    {
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QString>("ehlo");
        QTest::newRow("full name") << "desk1.office.example" << "desk1.office.example";
        QTest::newRow("short name") << "quorvane-test-desk1" << "[127.0.0.1]";
    }

    void ehloGivesAFullNameOrTheAddress()
    {
        QFETCH(QString, hostName);
        QFETCH(QString, ehlo);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        MailTransportOptions options = Options(server);
        options.hostName = hostName;
        const SendMailOutcome outcome = Send(state, options);
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        QCOMPARE(server.messages().value(0).value("ehlo").toString(), ehlo);
    }

    // Every kind of message declares its size, so a server with a limit
    // refuses one too big at MAIL FROM, before a byte of it is uploaded,
    // and the user reads the server's reason.
    void serverSizeLimitRefusesBeforeTheUpload_data()
    {
        QTest::addColumn<bool>("html");
        QTest::newRow("text and attachment") << false;
        QTest::newRow("html and attachment") << true;
    }

    void serverSizeLimitRefusesBeforeTheUpload()
    {
        QFETCH(bool, html);
        SmtpTestServer server;
        QVERIFY2(server.start({"--size-limit", "200000"}), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        if (html)
            UseHtml(state);
        Attach(state, QStringLiteral("big.bin"), QByteArray(300 * 1024, 'q'));
        const SendMailOutcome outcome = Send(state, Options(server));
        QCOMPARE(outcome.result, 1);
        QVERIFY2(outcome.failure.contains(QStringLiteral("552 Error: message size exceeds fixed maximum")),
                 qPrintable(outcome.failure));
        QVERIFY(server.messages().isEmpty());

        // Within the limit the same server takes it.
        Attach(state, QStringLiteral("small.bin"), QByteArray(1024, 'q'));
        const SendMailOutcome small = Send(state, Options(server));
        QVERIFY2(small.result == 0, qPrintable(small.failure));
    }

    // What was typed arrives as typed, in the page and in its text part:
    // never taken for markup, whichever field it was typed in.
    void typedTextArrivesAsTyped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        const QStringList typed = {QStringLiteral("Please reply to her assistant Tom <tom@example.org> today."),
                                   QStringLiteral("Price <100 EUR, code <ABC-7>"),
                                   QStringLiteral("<b>not bold</b>"),
                                   QStringLiteral("Fish & \"Chips\" &amp; more")};
        for (const char *field : {"message", "name", "company", "phone", "email", "custom phrase", "sender name"}) {
            for (const QString &text : typed)
                QTest::addRow("%s: %s", field, qPrintable(text)) << field << text;
        }
    }

    void typedTextArrivesAsTyped()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        PointDataAt(state, files_.path());
        state.activeSendAsHtml = 1;
        WriteTextField(state.recipients.entries[0].address, QStringLiteral("ann@example.org"));
        MessageFormInputs in;
        in.recipientTicked[0] = true;
        if (field == u"message")
            in.messageText = typed;
        else if (field == u"name")
            in.callerName = typed;
        else if (field == u"company")
            in.callerCompany = typed;
        else if (field == u"phone")
            in.callerPhone = typed;
        else if (field == u"email")
            in.callerEmail = typed;
        else if (field == u"custom phrase") {
            typed.truncate(31); // all the field holds
            WriteTextField(state.settings.customMessage1, typed);
            state.settings.customMessage1Enabled = 1;
            in.tickedPhrases = {Phrase::Custom1};
        } else if (field == u"sender name")
            WriteTextField(state.settings.senderName, typed);
        const ClockTexts clock = MakeClockTexts(QDateTime(QDate(2024, 1, 5), QTime(9, 5)), QLocale::c());
        const RenderOutcome rendered = RenderMessage(in, clock, state);
        QVERIFY(rendered.ok);
        const SendMailOutcome outcome = Send(state, rendered.message, Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));

        const QJsonObject m = server.messages().value(0);
        const QString page = PartOfType(m, "text/html").value("text").toString();
        const QString text = PartOfType(m, "text/plain").value("text").toString();
        // Blanks in the message text are non-breaking in the page.
        QString escaped = typed.toHtmlEscaped();
        if (field == u"message")
            escaped.replace(u' ', QStringLiteral("&nbsp;"));
        QVERIFY2(page.contains(escaped), qPrintable(page));
        QVERIFY2(text.contains(typed), qPrintable(text));
        QVERIFY(!page.contains(QStringLiteral("<b>not")));
    }

    // A recipient from the table whose entry is a bare address is named by
    // the table on the To line; the envelope carries bare addresses only.
    void recipientsByName()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        PointDataAt(state, files_.path());
        const QList<QPair<QString, QString>> table = {{"Alice Able", "alice@example.org"},
                                                      {"Smith, Bob", "bob@example.org"},
                                                      {"Zoë Ñúñez", "zoe@example.org"},
                                                      {"Team", "Carol Chan <carol@example.org>"}};
        MessageFormInputs in;
        for (int i = 0; i < table.size(); ++i) {
            WriteTextField(state.recipients.entries[static_cast<std::size_t>(i)].name, table[i].first);
            WriteTextField(state.recipients.entries[static_cast<std::size_t>(i)].address, table[i].second);
            in.recipientTicked[static_cast<std::size_t>(i)] = true;
        }
        const RenderOutcome rendered = RenderMessage(in, MakeClockTexts(QDateTime::currentDateTime(), QLocale::c()), state);
        const SendMailOutcome outcome = Send(state, rendered.message, Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QJsonObject m = server.messages().value(0);
        QStringList names;
        for (const QJsonValue &a : m.value("addresses").toObject().value("to").toArray())
            names.append(a.toObject().value("display_name").toString());
        QCOMPARE(names, (QStringList{"Alice Able", "Smith, Bob", "Zoë Ñúñez", "Carol Chan"}));
        QCOMPARE(Addresses(m, "to"),
                 (QStringList{"alice@example.org", "bob@example.org", "zoe@example.org", "carol@example.org"}));
        QCOMPARE(Strings(m.value("rcpt_tos")),
                 (QStringList{"alice@example.org", "bob@example.org", "zoe@example.org", "carol@example.org"}));
    }

    // A refused login ends the session politely, with QUIT, instead of a
    // dropped connection the server logs as lost.
    void refusedLoginEndsWithQuit_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::newRow("STARTTLS") << "starttls-auth";
        QTest::newRow("TLS from the first byte") << "implicit-auth";
        QTest::newRow("in the clear on loopback") << "clear-auth";
    }

    void refusedLoginEndsWithQuit()
    {
        QFETCH(QString, transport);
        SmtpTestServer server;
        const QStringList arguments = transport == u"clear-auth"
                                          ? QStringList{"--user", kUser, "--password", kPassword, "--auth-required"}
                                          : ServerArguments(transport);
        QVERIFY2(server.start(arguments), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port(), QStringLiteral("starttls-auth"));
        StorePassword(state, "not the password");
        const SendMailOutcome outcome = Send(state, Options(server, transport));
        QCOMPARE(outcome.result, 1);
        QVERIFY2(outcome.failure.contains(QStringLiteral("535")), qPrintable(outcome.failure));
        QTRY_COMPARE(server.events("quit").size(), 1);
        QCOMPARE(server.events("quit").value(0).value("authenticated").toBool(true), false);
    }

    // A server that stops answering is given up on after the stall timeout,
    // once: closing the connection must not wait a second timeout for the
    // answer to a polite QUIT.
    void silentServerEndsWithinTheTimeout_data()
    {
        QTest::addColumn<QString>("behaviour");
        QTest::newRow("silent after MAIL FROM") << "stall-after-mail";
        QTest::newRow("silent after DATA") << "stall-at-data";
        QTest::newRow("silent after the message") << "stall-after-data";
    }

    void silentServerEndsWithinTheTimeout()
    {
        QFETCH(QString, behaviour);
        SmtpTestServer server;
        QVERIFY2(server.start({"--behaviour", behaviour}), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        const MailTransportOptions options = Options(server);
        QElapsedTimer clock;
        clock.start();
        const SendMailOutcome outcome = Send(state, options);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(outcome.result, 1);
        QCOMPARE(server.events("stalled").size(), 1);
        const qint64 bound = std::chrono::milliseconds(options.stallTimeout).count() + 1000;
        QVERIFY2(elapsed < bound, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    }

    // The same send through the public entry point gives 0 when all is well.
    void sendMailReturnsZeroOnSuccess()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        QCOMPARE(Send(state, Options(server)).result, 0);
        QCOMPARE(server.messages().size(), 1);
    }

    void headerInjectionAddsNothing_data()
    {
        QTest::addColumn<QString>("senderName");
        QTest::addColumn<QString>("subject");
        const QString attack = QStringLiteral("\r\nBcc: x@example.org");
        const QString sender = QStringLiteral("Smith, Jane");
        QTest::newRow("caller name") << sender << QStringLiteral("Message From: Eve") + attack;
        QTest::newRow("sender name") << QStringLiteral("Eve") + attack << kSubject;
        QTest::newRow("subject, bare LF") << sender << QStringLiteral("Hi\nBcc: x@example.org\n\nbody");
        QTest::newRow("sender name, not ASCII") << QStringLiteral("Zoë") + attack << kSubject;
    }

    void headerInjectionAddsNothing()
    {
        QFETCH(QString, senderName);
        QFETCH(QString, subject);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        WriteTextField(state.settings.senderName, senderName);
        state.message.subject = subject;
        const SendMailOutcome outcome = Send(To(state, QStringLiteral("ann@example.org")), Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        const QJsonObject m = server.messages().value(0);
        QCOMPARE(HeaderNames(m), (QStringList{"From", "To", "Subject", "Date", "Message-ID", "MIME-Version", "Importance",
                                              "X-Priority", "Content-Type", "Content-Transfer-Encoding"}));
        QCOMPARE(Strings(m.value("rcpt_tos")), QStringList{"ann@example.org"});
        QCOMPARE(Addresses(m, "from"), QStringList{"desk@example.org"});
        QCOMPARE(PartOfType(m, "text/plain").value("text").toString(), TextBody());
        for (const QString &line : m.value("raw_header_block").toString().split(QStringLiteral("\r\n")))
            QVERIFY2(!line.startsWith(QStringLiteral("Bcc"), Qt::CaseInsensitive), qPrintable(line));
    }

    // An address goes into an SMTP command; one carrying a line break could
    // add a recipient of its own. Such a send is refused before it starts.
    void envelopeInjectionIsRefused()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        state.settings.ccCaller = 1;
        state.message.callerEmail = QStringLiteral("jane@clients.example\r\nRCPT TO:<x@example.org>");
        QCOMPARE(Send(To(state, QStringLiteral("ann@example.org")), Options(server)).result, 1);
        QVERIFY(server.messages().isEmpty());
    }

    void largeAttachmentArrivesIntact()
    {
        QByteArray data(10 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator random(20240312);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        Attach(state, QStringLiteral("recording.bin"), data);
        const SendMailOutcome outcome = Send(state, Options(server));
        QVERIFY2(outcome.result == 0, qPrintable(outcome.failure));
        // Many blocks of encoding: no line may run on or break bare where two meet.
        const QJsonObject m = server.messages().value(0);
        QVERIFY(m.value("max_line_length").toInt() <= 998);
        QCOMPARE(m.value("bare_line_feeds").toInt(), 0);
        QCOMPARE(m.value("defects").toArray().size(), 0);
        const QJsonObject file = Parts(m).value(2);
        QCOMPARE(file.value("filename").toString(), QStringLiteral("recording.bin"));
        QCOMPARE(file.value("content_type").toString(), QStringLiteral("application/octet-stream"));
        QCOMPARE(file.value("size").toInt(), data.size());
        QCOMPARE(file.value("sha256").toString(), Sha256(data));
    }

    // The clear password lives in the job alone: recovered into it only with
    // authentication on, and gone from a job once it is moved on.
    void jobKeepsTheClearPasswordToItself()
    {
        SendState state;
        Prepare(state, 25, QStringLiteral("starttls-auth"));
        DeliveryJob job = MakeDeliveryJob(state, state.message);
        QCOMPARE(QByteArray(job.password.text()), kPassword.toUtf8());
        QCOMPARE(job.userName, kUser.toUtf8());
        DeliveryJob moved = std::move(job);
        QVERIFY(job.password.isWiped()); // NOLINT(bugprone-use-after-move): that is the point
        QCOMPARE(QByteArray(moved.password.text()), kPassword.toUtf8());

        state.settings.useAuthentication = 0;
        QVERIFY(MakeDeliveryJob(state, state.message).password.isWiped());
    }

    // The mail library is opened at the first send; without it the send
    // fails as any other does.
    void missingMailLibraryFailsTheSend()
    {
        SmtpTestServer server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        const SendMailOutcome outcome = SendMailWithReason(MakeDeliveryJob(state, state.message, Options(server)),
                                                           files_.filePath(QStringLiteral("no-library-here")));
        QCOMPARE(outcome.result, 1);
        QVERIFY2(outcome.failure.contains(QStringLiteral("mail library")), qPrintable(outcome.failure));
        QVERIFY(server.messages().isEmpty());
    }

    // The program sends from a worker thread while the interface waits.
    void sendsFromAWorkerThread()
    {
        SmtpTestServer server;
        QVERIFY2(server.start({"--starttls", cert(), key()}), qPrintable(server.error()));
        SendState state;
        Prepare(state, server.port());
        UseHtml(state);
        Attach(state, QStringLiteral("photo.png"), Png());
        // Built here, moved to the thread that sends it, as the program does.
        DeliveryJob job = MakeDeliveryJob(state, state.message, Options(server));
        auto send = std::async(std::launch::async,
                               [job = std::move(job)]() mutable { return SendMail(std::move(job), LibraryFolder()); });
        QCOMPARE(send.get(), 0);
        const QJsonObject m = server.messages().value(0);
        // Opportunistic TLS without log-in: taken although nothing verifies it.
        QVERIFY(m.value("tls").toBool());
        QCOMPARE(PartOfType(m, "image/png").value("sha256").toString(), Sha256(Png()));
    }
};

QTEST_GUILESS_MAIN(TestMailDelivery)
#include "test_mail_delivery.moc"
