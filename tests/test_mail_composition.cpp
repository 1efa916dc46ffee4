#include "TestSupport.h"

#include "mail/AttachmentType.h"
#include "mail/Base64FileStream.h"
#include "mail/HeaderEncoding.h"
#include "mail/HtmlToText.h"
#include "mail/MailComposer.h"
#include "mail/EhloName.h"
#include "mail/MessageStream.h"
#include "mail/QuotedPrintable.h"
#include "mail/TransportPolicy.h"

#include <QtTest>

#include <sys/stat.h>

#include <cstdint>
#include <vector>

// The parts of delivery that take plain data: header text, the HTML page's
// text reading, the composed message, the attachment's media type and the
// transport decision. What a mail program makes of the result on the wire is
// checked against a real server in test_mail_delivery.
namespace {

QByteArray HeaderNamed(const ComposedMail &mail, const QByteArray &name)
{
    for (const QByteArray &line : mail.headers) {
        if (line.startsWith(name + ":"))
            return line.mid(name.size() + 1).trimmed();
    }
    return {};
}

QList<QByteArray> HeaderNames(const ComposedMail &mail)
{
    QList<QByteArray> names;
    for (const QByteArray &line : mail.headers)
        names.append(line.left(line.indexOf(':')));
    return names;
}

MailDraft BasicDraft()
{
    MailDraft draft;
    draft.from = QStringLiteral("Reception <desk@example.org>");
    draft.to = QStringLiteral("ann@example.org;bob@example.org");
    draft.subject = QStringLiteral("Message From: Carol");
    draft.textBody = QStringLiteral("\r\nDate: 1/2/2024\r\n");
    draft.messageId = "id@example.org";
    return draft;
}

// The attachment as a mail carries it: base64 in 76-character lines joined
// by CR LF.
QByteArray WrappedBase64(const QByteArray &bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QList<QByteArray> lines;
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines.append(encoded.mid(at, 76));
    return lines.join("\r\n");
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

// Everything a stream gives, read in pieces of at most capacity bytes; what
// came before a failure, then "<failed>".
QByteArray ReadAll(Base64FileStream &stream, std::size_t capacity)
{
    QByteArray all;
    std::vector<char> buffer(capacity);
    for (;;) {
        const std::int64_t n = stream.read(buffer.data(), capacity);
        if (n < 0)
            return all + "<failed>";
        if (n == 0)
            return all;
        all.append(buffer.data(), static_cast<qsizetype>(n));
    }
}

// What a reader of an encoded-word header gets back.
QString DecodeWords(const QByteArray &value)
{
    QByteArray bytes;
    for (const QByteArray &word : value.split(' ')) {
        if (!word.startsWith("=?utf-8?B?") || !word.endsWith("?="))
            return QStringLiteral("<not an encoded word: %1>").arg(QString::fromLatin1(word));
        bytes += QByteArray::fromBase64(word.mid(10, word.size() - 12));
    }
    return QString::fromUtf8(bytes);
}

// The rendered page of an HTML message as rendering writes it: a table of
// caller details, the text, the ticked phrases and the footer.
const char kRenderedPage[] =
    "<table border=\"0\" width=\"100%\" id=\"table1\" cellspacing=\"4\"><tr>\r\n"
    "<td width=\"6%\"><font SIZE=\"2\" face=\"Verdana\" color=\"#0000FF\">Date:</font></td>\r\n"
    "<td width=\"92%\"><font SIZE=\"2\" face=\"Verdana\">1/02/2024\r\n</font></td></tr><tr>\r\n"
    "<td width=\"6%\"><font SIZE=\"2\" face=\"Verdana\" color=\"#0000FF\">From:</font></td>\r\n"
    "<td width=\"92%\"><font SIZE=\"2\" face=\"Verdana\">Jane &lt;jane@example.org&gt;</font></td></tr><tr>\r\n"
    "<td colspan=\"2\"><br>\r\n"
    "<strong><font SIZE=\"2\" face=\"Verdana\">Message:-</font></strong><br><br>\r\n"
    "<font face=\"Verdana\" style=\"font-size: 0.8em\">ab\r\n<br>c&nbsp;&nbsp;d <b>bold</b></font><br>\r\n"
    "<ul><li><font face=\"Verdana\" size=\"2\">URGENT</font></li>\r\n"
    "<li><font face=\"Verdana\" size=\"2\">Telephoned</font></li>\r\n"
    "</ul><p>\r\n"
    "</td></tr><tr><td colspan=\"2\"><font face=\"Verdana\" size=\"2\" color=\"#800080\">Message taken by:</font><br><br>\r\n"
    "<font face=\"Verdana\" size=\"2\" color=\"#0000FF\">Reception<br>\r\n"
    "<a href=\"mailto:desk@example.org\">desk@example.org</font><p></td></tr><tr><td colspan=\"2\"><hr>\r\n"
    "<font face=\"Verdana\" style=\"font-size: 0.7em\">Message created by: <a href=\"https://x.example/\">Quorvane</a></font></td></tr>\r\n"
    "</table><br></body></html>\r\n";

} // namespace

class TestMailComposition : public QObject {
    Q_OBJECT
private slots:
    void headerValuesCannotBreakTheLine_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF") << "Eve\r\nBcc: x@example.org" << "Eve Bcc: x@example.org";
        QTest::newRow("lone LF") << "Eve\nBcc: x" << "Eve Bcc: x";
        QTest::newRow("lone CR") << "Eve\rBcc: x" << "Eve Bcc: x";
        QTest::newRow("run of breaks") << "a\r\n\r\n\nb" << "a b";
        QTest::newRow("other controls") << QString("a\tb\x01" "c") << "a b c";
        QTest::newRow("unicode line separator") << QString("a") + QChar(0x2028) + "b" << "a b";
        QTest::newRow("ordinary text") << "Zoë Ångström" << "Zoë Ångström";
    }

    void headerValuesCannotBreakTheLine()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(NeutraliseControls(value), expected);
        const QByteArray subject = EncodeUnstructured(value);
        QVERIFY(!subject.contains('\r') && !subject.contains('\n'));
        const QByteArray name = EncodeDisplayName(value);
        QVERIFY(!name.contains('\r') && !name.contains('\n'));
    }

    void unstructuredText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("encoded");
        QTest::newRow("plain ASCII") << "Message From: Carol" << false;
        QTest::newRow("trailing blank kept") << "Message From: " << false;
        QTest::newRow("accents") << "Message From: Zoë Ångström" << true;
        QTest::newRow("CJK") << "Message From: 山田太郎" << true;
        QTest::newRow("emoji across word edges") << "Message From: " + QString(40, QChar(0x00e9)) + "😀😀😀😀" << true;
        QTest::newRow("looks like an encoded word") << "=?utf-8?B?SGk=?=" << true;
        QTest::newRow("word too long to fold") << QString(120, 'x') << true;
        QTest::newRow("127 accented characters") << QString(127, QChar(0x00e9)) << true;
    }

    // Encoded words must be at most 75 characters, never split a character,
    // and give back the text exactly.
    void unstructuredText()
    {
        QFETCH(QString, text);
        QFETCH(bool, encoded);
        const QByteArray value = EncodeUnstructured(text);
        if (!encoded) {
            QCOMPARE(value, text.toLatin1());
            return;
        }
        for (const QByteArray &word : value.split(' ')) {
            QVERIFY2(word.size() <= 75, word.constData());
            const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
            QVERIFY2(QString::fromUtf8(bytes).toUtf8() == bytes, "a word splits a character");
        }
        QCOMPARE(DecodeWords(value), text);
    }

    void displayNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("atoms") << "Jane Smith" << QByteArray("Jane Smith");
        QTest::newRow("comma") << "Smith, Jane" << QByteArray("\"Smith, Jane\"");
        QTest::newRow("quote and backslash") << "Jane \"JJ\" O\\Neil" << QByteArray("\"Jane \\\"JJ\\\" O\\\\Neil\"");
        QTest::newRow("angle brackets") << "Eve <boss@example.org>" << QByteArray("\"Eve <boss@example.org>\"");
        QTest::newRow("dots") << "J. Smith" << QByteArray("\"J. Smith\"");
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("blanks only") << "   " << QByteArray();
    }

    void displayNames()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, expected);
        QCOMPARE(EncodeDisplayName(name), expected);
    }

    void nonAsciiDisplayNameIsEncoded()
    {
        const QByteArray value = EncodeDisplayName(QStringLiteral("Müller, Jörg"));
        QVERIFY(value.startsWith("=?utf-8?B?"));
        QCOMPARE(DecodeWords(value), QStringLiteral("Müller, Jörg"));
        QCOMPARE(FormatMailbox(QStringLiteral("Müller, Jörg"), QStringLiteral("j@example.org")),
                 value + " <j@example.org>");
        QCOMPARE(FormatMailbox(QString(), QStringLiteral("j@example.org")), QByteArray("j@example.org"));
    }

    void senderTextSplitsIntoNameAndAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::newRow("usual") << "Reception <desk@example.org>" << "Reception" << "desk@example.org";
        QTest::newRow("no name") << " <desk@example.org>" << "" << "desk@example.org";
        QTest::newRow("nothing set") << " <>" << "" << "";
        QTest::newRow("bracket in the name") << "Eve <x> <desk@example.org>" << "Eve <x>" << "desk@example.org";
        QTest::newRow("bare address") << "desk@example.org" << "" << "desk@example.org";
    }

    void senderTextSplitsIntoNameAndAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, address);
        const Mailbox mailbox = SplitMailbox(text);
        QCOMPARE(mailbox.displayName, name);
        QCOMPARE(mailbox.address, address);
    }

    // Forty recipients of 127 characters make a To header of some 5,200
    // characters; SMTP allows lines of 998.
    void longHeadersAreFolded()
    {
        QStringList addresses;
        for (int i = 0; i < 40; ++i)
            addresses.append(QString(115, QChar('a' + i % 26)) + QStringLiteral("@example.org"));
        const QByteArray value = addresses.join(QStringLiteral(", ")).toLatin1();
        const QByteArray header = FoldHeader("To", value);
        for (const QByteArray &line : header.split('\n'))
            QVERIFY2(line.size() <= 998, "line too long");
        QVERIFY(header.count("\r\n ") >= 39);
        QByteArray unfolded = header;
        unfolded.replace("\r\n", "");
        QCOMPARE(unfolded, "To: " + value);
        QCOMPARE(FoldHeader("Subject", "short"), QByteArray("Subject: short"));
    }

    void htmlToText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("rendered page") << QString::fromUtf8(kRenderedPage)
            << "Date: 1/02/2024\r\nFrom: Jane <jane@example.org>\r\n\r\nMessage:-\r\n\r\nab\r\nc  d bold\r\n"
               "- URGENT\r\n- Telephoned\r\n\r\nMessage taken by:\r\n\r\nReception\r\ndesk@example.org\r\n\r\n"
               "Message created by: Quorvane";
        QTest::newRow("breaks") << "a<br>b<BR/>c<br><br>d" << "a\r\nb\r\nc\r\n\r\nd";
        QTest::newRow("paragraphs") << "<p>one</p><p>two</p>" << "one\r\n\r\ntwo";
        QTest::newRow("source line ends are blanks") << "one\r\ntwo\n  three" << "one two three";
        QTest::newRow("entities") << "&lt;b&gt; &amp; &quot;q&quot; &#65;&#x42; &euro;" << "<b> & \"q\" AB €";
        QTest::newRow("unknown entity stays") << "a &bogus; b & c" << "a &bogus; b & c";
        QTest::newRow("nbsp keeps every blank") << "a&nbsp;&nbsp;&nbsp;b" << "a   b";
        QTest::newRow("lone angle bracket is text") << "1 < 2 and 3 > 2" << "1 < 2 and 3 > 2";
        QTest::newRow("quoted > in an attribute") << "<a title=\"x > y\">link</a>" << "link";
        QTest::newRow("comments, scripts, styles") << "a<!-- <p>hidden</p> --><script>var x = '<b>';</script><style>p{}</style>b"
                                                    << "ab";
        QTest::newRow("table cells") << "<table><tr><td>A:</td><td>1</td></tr><tr><td>B:</td><td>2</td></tr></table>"
                                     << "A: 1\r\nB: 2";
        QTest::newRow("empty") << "" << "";
    }

    void htmlToText()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(HtmlToText(html), text);
    }

    void envelopeAndAddressHeaders_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QVariant>("cc");
        QTest::addColumn<QVariant>("bcc");
        QTest::addColumn<QStringList>("envelope");
        QTest::addColumn<QByteArray>("toHeader");
        QTest::addColumn<QByteArray>("ccHeader");
        QTest::newRow("plain list") << "a@x.org;b@x.org" << QVariant() << QVariant() << QStringList{"a@x.org", "b@x.org"}
                                    << QByteArray("a@x.org, b@x.org") << QByteArray();
        QTest::newRow("empty element and blanks") << " a@x.org ;;c@x.org;" << QVariant() << QVariant()
                                                  << QStringList{"a@x.org", "c@x.org"} << QByteArray("a@x.org, c@x.org")
                                                  << QByteArray();
        QTest::newRow("cc and bcc") << "a@x.org" << QVariant("caller@y.org") << QVariant("desk@x.org")
                                    << QStringList{"a@x.org", "caller@y.org", "desk@x.org"} << QByteArray("a@x.org")
                                    << QByteArray("caller@y.org");
        QTest::newRow("empty bcc adds nothing") << "a@x.org" << QVariant() << QVariant("") << QStringList{"a@x.org"}
                                                << QByteArray("a@x.org") << QByteArray();
        QTest::newRow("cc of just @") << "a@x.org" << QVariant("@") << QVariant() << QStringList{"a@x.org", "@"}
                                      << QByteArray("a@x.org") << QByteArray("@");
        QTest::newRow("each address once") << "a@x.org;A@X.org" << QVariant("a@x.org") << QVariant("a@x.org")
                                           << QStringList{"a@x.org"} << QByteArray("a@x.org, A@X.org") << QByteArray("a@x.org");
        QTest::newRow("only a blind copy") << ";" << QVariant() << QVariant("desk@x.org") << QStringList{"desk@x.org"}
                                           << QByteArray("undisclosed-recipients:;") << QByteArray();
        // Addresses as people write them: names kept for the headers, bare
        // addresses on the envelope.
        QTest::newRow("name and address") << "Bob Smith <bob@x.org>;<a@x.org>" << QVariant("Jane Roe <jane@y.org>")
                                          << QVariant() << QStringList{"bob@x.org", "a@x.org", "jane@y.org"}
                                          << QByteArray("Bob Smith <bob@x.org>, a@x.org")
                                          << QByteArray("Jane Roe <jane@y.org>");
        QTest::newRow("a list in one entry") << "a@x.org, b@x.org; c@x.org" << QVariant("d@y.org, e@y.org")
                                             << QVariant() << QStringList{"a@x.org", "b@x.org", "c@x.org", "d@y.org", "e@y.org"}
                                             << QByteArray("a@x.org, b@x.org, c@x.org") << QByteArray("d@y.org, e@y.org");
        QTest::newRow("quoted name with a comma") << "\"Smith, Bob\" <bob@x.org>" << QVariant() << QVariant()
                                                  << QStringList{"bob@x.org"} << QByteArray("\"Smith, Bob\" <bob@x.org>")
                                                  << QByteArray();
        QTest::newRow("unquoted name with a comma") << "Smith, Bob <bob@x.org>, a@x.org" << QVariant() << QVariant()
                                                    << QStringList{"bob@x.org", "a@x.org"}
                                                    << QByteArray("\"Smith, Bob\" <bob@x.org>, a@x.org") << QByteArray();
        QTest::newRow("escaped quote in a name") << "\"O\\\"Brien; Pat\" <pat@x.org>" << QVariant() << QVariant()
                                                 << QStringList{"pat@x.org"}
                                                 << QByteArray("\"O\\\"Brien; Pat\" <pat@x.org>") << QByteArray();
        QTest::newRow("name not in ASCII") << "J\u00f6rg <j@x.org>" << QVariant() << QVariant() << QStringList{"j@x.org"}
                                           << QByteArray("=?utf-8?B?SsO2cmc=?= <j@x.org>") << QByteArray();
    }

    void envelopeAndAddressHeaders()
    {
        QFETCH(QString, to);
        QFETCH(QVariant, cc);
        QFETCH(QVariant, bcc);
        QFETCH(QStringList, envelope);
        QFETCH(QByteArray, toHeader);
        QFETCH(QByteArray, ccHeader);
        MailDraft draft = BasicDraft();
        draft.to = to;
        if (cc.isValid())
            draft.cc = cc.toString();
        if (bcc.isValid())
            draft.bcc = bcc.toString();
        const ComposedMail mail = ComposeMail(draft);
        QVERIFY2(mail.ok, qPrintable(mail.failure));
        QStringList got;
        for (const QByteArray &address : mail.envelopeRecipients)
            got.append(QString::fromUtf8(address));
        QCOMPARE(got, envelope);
        QCOMPARE(mail.envelopeFrom, QByteArray("desk@example.org"));
        QCOMPARE(HeaderNamed(mail, "To"), toHeader);
        QCOMPARE(HeaderNamed(mail, "Cc"), ccHeader);
        QVERIFY(!HeaderNames(mail).contains("Bcc"));
    }

    // An address goes into an SMTP command as it stands; one that could end
    // the command or start another fails the whole message.
    void unsafeEnvelopeAddressesFailTheMessage_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("cc");
        QTest::addColumn<QString>("from");
        QTest::newRow("CR LF in the caller's address") << "a@x.org" << "c@y.org\r\nRCPT TO:<x@example.org>"
                                                       << "Desk <desk@x.org>";
        QTest::newRow("blank inside a recipient") << "a@x.org b@x.org" << "" << "Desk <desk@x.org>";
        QTest::newRow("angle bracket in a recipient") << "a@x.org>" << "" << "Desk <desk@x.org>";
        QTest::newRow("line break in the sender") << "a@x.org" << "" << "Desk <desk@x.org\r\nRCPT TO:<x@example.org>>";
        QTest::newRow("no recipient at all") << ";;" << "" << "Desk <desk@x.org>";
        QTest::newRow("no sender address") << "a@x.org" << "" << "Desk <>";
        QTest::newRow("no @ in a recipient") << "a@x.org, b.x.org" << "" << "Desk <desk@x.org>";
        QTest::newRow("angle bracket left open") << "Bob <b@x.org" << "" << "Desk <desk@x.org>";
        QTest::newRow("text after the address") << "Bob <b@x.org> ext. 4" << "" << "Desk <desk@x.org>";
        QTest::newRow("quote left open") << "\"Bob <b@x.org>" << "" << "Desk <desk@x.org>";
        QTest::newRow("NUL in the caller's address") << "a@x.org" << QStringLiteral("c@y.org") + QChar(0) + "x"
                                                     << "Desk <desk@x.org>";
    }

    void unsafeEnvelopeAddressesFailTheMessage()
    {
        QFETCH(QString, to);
        QFETCH(QString, cc);
        QFETCH(QString, from);
        MailDraft draft = BasicDraft();
        draft.to = to;
        draft.from = from;
        if (!cc.isEmpty())
            draft.cc = cc;
        const ComposedMail mail = ComposeMail(draft);
        QVERIFY(!mail.ok);
        QVERIFY(!mail.failure.isEmpty());
        QVERIFY2(!mail.failure.contains(u'\r') && !mail.failure.contains(u'\n') && !mail.failure.contains(QChar(0)),
                 qPrintable(mail.failure));
    }

    void headerSet()
    {
        MailDraft draft = BasicDraft();
        draft.from = QStringLiteral("Smith, Jane <desk@example.org>");
        draft.subject = QStringLiteral("Message From: Eve\r\nBcc: x@example.org");
        draft.date = QDateTime(QDate(2024, 3, 12), QTime(14, 3, 5), Qt::OffsetFromUTC, 11 * 3600);
        const ComposedMail mail = ComposeMail(draft);
        QVERIFY(mail.ok);
        QCOMPARE(HeaderNames(mail), (QList<QByteArray>{"From", "To", "Subject", "Date", "Message-ID", "MIME-Version",
                                                       "Importance", "X-Priority"}));
        QCOMPARE(HeaderNamed(mail, "From"), QByteArray("\"Smith, Jane\" <desk@example.org>"));
        QCOMPARE(HeaderNamed(mail, "Subject"), QByteArray("Message From: Eve Bcc: x@example.org"));
        QCOMPARE(HeaderNamed(mail, "Date"), QByteArray("12 Mar 2024 14:03:05 +1100"));
        QCOMPARE(HeaderNamed(mail, "Message-ID"), QByteArray("<id@example.org>"));
        QCOMPARE(HeaderNamed(mail, "MIME-Version"), QByteArray("1.0"));
        for (const QByteArray &line : mail.headers)
            QVERIFY2(!line.contains('\n') || line.contains("\r\n "), line.constData());
    }

    void importance_data()
    {
        QTest::addColumn<int>("importance");
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<QByteArray>("priority");
        QTest::newRow("0 low") << 0 << QByteArray("low") << QByteArray("5 (Lowest)");
        QTest::newRow("1 normal") << 1 << QByteArray("normal") << QByteArray("3 (Normal)");
        QTest::newRow("2 high") << 2 << QByteArray("high") << QByteArray("1 (Highest)");
        QTest::newRow("out of range is normal") << 7 << QByteArray("normal") << QByteArray("3 (Normal)");
    }

    void importance()
    {
        QFETCH(int, importance);
        QFETCH(QByteArray, word);
        QFETCH(QByteArray, priority);
        MailDraft draft = BasicDraft();
        draft.importance = importance;
        const ComposedMail mail = ComposeMail(draft);
        QCOMPARE(HeaderNamed(mail, "Importance"), word);
        QCOMPARE(HeaderNamed(mail, "X-Priority"), priority);
    }

    void messageIdsAreFreshAndAtTheSendersDomain()
    {
        const QByteArray a = NewMessageId(QStringLiteral("desk@example.org"));
        const QByteArray b = NewMessageId(QStringLiteral("desk@example.org"));
        QVERIFY(a != b);
        QVERIFY(a.endsWith("@example.org"));
        QVERIFY(NewMessageId(QString()).endsWith("@quorvane.invalid"));
        QVERIFY(NewMessageId(QStringLiteral("desk@bad domain>")).endsWith("@quorvane.invalid"));
    }

    void bodies()
    {
        MailDraft text = BasicDraft();
        text.textBody = QStringLiteral("one\r\ntwo\nthree\rfour");
        ComposedMail mail = ComposeMail(text);
        QVERIFY(!mail.hasHtml);
        QCOMPARE(mail.plainText, QByteArray("one\r\ntwo\r\nthree\r\nfour"));

        // HTML mode reads the page; the text body held over from an earlier
        // text-mode message must not reach the mail.
        MailDraft html = BasicDraft();
        html.html = true;
        html.textBody = QStringLiteral("STALE TEXT");
        html.htmlPage = QStringLiteral("<b>Hello</b><br>\nworld");
        mail = ComposeMail(html);
        QVERIFY(mail.hasHtml);
        QCOMPARE(mail.html, QByteArray("<b>Hello</b><br>\r\nworld"));
        QCOMPARE(mail.plainText, QByteArray("Hello\r\nworld"));
        QVERIFY(!mail.plainText.contains("STALE") && !mail.html.contains("STALE"));
    }

    void attachmentHeader_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("mediaType");
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<QByteArray>("expectedType");
        QTest::newRow("plain name") << "plan.png" << QByteArray("image/png")
                                    << QByteArray("attachment; filename=\"plan.png\"") << QByteArray("image/png");
        QTest::newRow("quote in the name") << "a \"b\".txt" << QByteArray("text/plain")
                                           << QByteArray("attachment; filename=\"a \\\"b\\\".txt\"") << QByteArray("text/plain");
        QTest::newRow("name not ASCII") << "Grundriß ü.pdf" << QByteArray("application/pdf")
                                        << QByteArray("attachment; filename*=utf-8''Grundri%C3%9F%20%C3%BC.pdf")
                                        << QByteArray("application/pdf");
        QTest::newRow("line break in the name") << "a\r\nContent-Type: text/html.txt" << QByteArray("text/plain")
                                                << QByteArray("attachment; filename=\"a Content-Type: text/html.txt\"")
                                                << QByteArray("text/plain");
        QTest::newRow("unusable media type") << "x.bin" << QByteArray("text/plain\r\nX: y")
                                             << QByteArray("attachment; filename=\"x.bin\"")
                                             << QByteArray("application/octet-stream");
    }

    void attachmentHeader()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, mediaType);
        QFETCH(QByteArray, disposition);
        QFETCH(QByteArray, expectedType);
        MailDraft draft = BasicDraft();
        draft.attachment = MailAttachment{QStringLiteral("/tmp/whatever"), fileName, mediaType};
        const ComposedMail mail = ComposeMail(draft);
        QVERIFY(mail.attachment.has_value());
        QCOMPARE(mail.attachment->disposition, disposition);
        QCOMPARE(mail.attachment->mediaType, expectedType);
    }

    void mediaTypeComesFromTheFile_data()
    {
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("picture") << "photo.png" << png << QByteArray("image/png");
        QTest::newRow("picture without extension") << "photo" << png << QByteArray("image/png");
        QTest::newRow("PDF") << "report.pdf" << QByteArray("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n") << QByteArray("application/pdf");
        QTest::newRow("spreadsheet") << "sums.csv" << QByteArray("a,b\n1,2\n") << QByteArray("text/csv");
        QTest::newRow("plain text") << "notes.txt" << QByteArray("hello\n") << QByteArray("text/plain");
        QTest::newRow("unknown bytes") << "blob" << QByteArray("\x00\x01\x02\x03\xff\xfe", 6)
                                       << QByteArray("application/octet-stream");
        QTest::newRow("empty file") << "empty" << QByteArray() << QByteArray("application/octet-stream");
    }

    void mediaTypeComesFromTheFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, type);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(WriteWholeFile(path, content));
        QCOMPARE(DetectMediaType(path), type);
    }

    void attachmentIsBase64InLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("1 byte") << QByteArray("\xff", 1);
        QTest::newRow("2 bytes") << QByteArray("ab");
        QTest::newRow("3 bytes") << QByteArray("abc");
        QTest::newRow("57 bytes, one full line") << RandomBytes(57, 1);
        QTest::newRow("58 bytes, one more line") << RandomBytes(58, 2);
        QTest::newRow("a multiple of 57") << RandomBytes(57 * 40, 3);
        QTest::newRow("a few KB") << RandomBytes(5000, 4);
        // The encoder works in blocks of 1024 lines: the line break between
        // two blocks is where a fault would hide.
        QTest::newRow("one block exactly") << RandomBytes(57 * 1024, 5);
        QTest::newRow("one byte into a second block") << RandomBytes(57 * 1024 + 1, 6);
        QTest::newRow("several blocks") << RandomBytes(200000, 7);
        // More than the encoding thread holds ready: it has to wait for the reader.
        QTest::newRow("more blocks than are encoded ahead") << RandomBytes(57 * 1024 * 10 + 5, 10);
    }

    void attachmentIsBase64InLines()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file.bin"));
        QVERIFY(WriteWholeFile(path, content));
        const QByteArray expected = WrappedBase64(content);

        QCOMPARE(Base64FileStream::EncodedSize(content.size()), expected.size());
        // Encoded as it is read, and ahead of the reader on a thread.
        for (const bool ahead : {false, true}) {
            Base64FileStream stream;
            QVERIFY2(stream.open(path), qPrintable(stream.failure()));
            if (ahead)
                stream.encodeAhead();
            QCOMPARE(stream.encodedSize(), expected.size());
            // libcurl's buffer, and pieces that end inside lines and line breaks.
            QCOMPARE(ReadAll(stream, 65536), expected);
            for (std::size_t capacity : {std::size_t{1}, std::size_t{77}, std::size_t{4099}}) {
                QVERIFY(stream.rewind());
                QCOMPARE(ReadAll(stream, capacity), expected);
            }
            // Started over halfway through.
            QVERIFY(stream.rewind());
            std::vector<char> half(static_cast<std::size_t>(expected.size() / 2) + 1);
            QVERIFY(stream.read(half.data(), half.size()) >= 0);
            QVERIFY(stream.rewind());
            QCOMPARE(ReadAll(stream, 65536), expected);
        }
    }

    // The size given to the server was taken from the file when the send
    // began: a file of another length then must fail the send, not cut it
    // short or run over.
    void attachmentThatChangesSizeFailsTheStream_data()
    {
        QTest::addColumn<qsizetype>("newSize");
        QTest::addColumn<bool>("ahead");
        for (const bool ahead : {false, true}) {
            const char *mode = ahead ? ", encoded ahead" : "";
            QTest::addRow("grew by a byte%s", mode) << qsizetype(3001) << ahead;
            QTest::addRow("grew by a block%s", mode) << qsizetype(3000 + 57 * 1024) << ahead;
            QTest::addRow("shrank%s", mode) << qsizetype(2000) << ahead;
            QTest::addRow("emptied%s", mode) << qsizetype(0) << ahead;
        }
    }

    void attachmentThatChangesSizeFailsTheStream()
    {
        QFETCH(qsizetype, newSize);
        QFETCH(bool, ahead);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("file.bin"));
        QVERIFY(WriteWholeFile(path, RandomBytes(3000, 8)));
        Base64FileStream stream;
        QVERIFY(stream.open(path));
        QVERIFY(WriteWholeFile(path, RandomBytes(newSize, 9)));
        if (ahead)
            stream.encodeAhead();
        QVERIFY(ReadAll(stream, 65536).endsWith("<failed>"));
        QVERIFY(!stream.failure().isEmpty());
    }

    void attachmentThatIsNoPlainFileIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("pipe") << "pipe";
    }

    void attachmentThatIsNoPlainFileIsRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("missing.bin"));
        if (kind == u"folder")
            path = dir.path();
        if (kind == u"pipe") {
            path = dir.filePath(QStringLiteral("pipe"));
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        // A pipe must be refused, not waited on for a writer that never comes.
        Base64FileStream stream;
        QVERIFY(!stream.open(path));
        QVERIFY(stream.failure().contains(path));
        char byte;
        QCOMPARE(stream.read(&byte, 1), -1);
    }

    void transportPlan_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("auth");
        QTest::addColumn<bool>("loopbackMaySkipTls");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("implicitTls");
        QTest::addColumn<bool>("tlsRequired");
        QTest::addColumn<bool>("verify");
        // Credentials to a remote server: TLS required and verified, whether
        // or not the server offers STARTTLS.
        QTest::newRow("remote, auth, submission port") << "smtp.example.org" << 587 << true << true << true << false << true << true;
        QTest::newRow("remote, auth, port 25") << "smtp.example.org" << 25 << true << true << true << false << true << true;
        QTest::newRow("remote, auth, 465") << "smtp.example.org" << 465 << true << true << true << true << true << true;
        QTest::newRow("remote address, auth") << "192.0.2.10" << 25 << true << true << true << false << true << true;
        QTest::newRow("look-alike of loopback, auth") << "127.0.0.1.example.org" << 25 << true << true << true << false << true << true;
        // No credentials: TLS when offered, unverified.
        QTest::newRow("remote, no auth") << "smtp.example.org" << 25 << false << true << true << false << false << false;
        QTest::newRow("remote, no auth, 465") << "smtp.example.org" << 465 << false << true << true << true << true << false;
        // A relay on this machine may go without TLS and without a trusted
        // certificate: nothing passes outside the machine.
        QTest::newRow("loopback, auth") << "127.0.0.1" << 2525 << true << true << true << false << false << false;
        QTest::newRow("loopback range, auth") << "127.8.9.10" << 2525 << true << true << true << false << false << false;
        QTest::newRow("IPv6 loopback, auth") << "::1" << 2525 << true << true << true << false << false << false;
        QTest::newRow("localhost, auth") << "localhost" << 2525 << true << true << true << false << false << false;
        // With the final dot the name goes to the resolver like any other,
        // which may answer with any address at all.
        QTest::newRow("localhost., auth") << "localhost." << 2525 << true << true << true << false << true << true;
        QTest::newRow("LOCALHOST., auth") << "LOCALHOST." << 2525 << true << true << true << false << true << true;
        QTest::newRow("a name under localhost, auth") << "mail.localhost" << 2525 << true << true << true << false << true << true;
        QTest::newRow("loopback treated as remote") << "127.0.0.1" << 2525 << true << false << true << false << true << true;
        QTest::newRow("port 0") << "smtp.example.org" << 0 << false << true << false << false << false << false;
        QTest::newRow("port 70000") << "smtp.example.org" << 70000 << false << true << false << false << false << false;
        QTest::newRow("negative port") << "smtp.example.org" << -25 << false << true << false << false << false << false;
        QTest::newRow("no server") << "  " << 25 << false << true << false << false << false << false;
    }

    void transportPlan()
    {
        QFETCH(QString, server);
        QFETCH(int, port);
        QFETCH(bool, auth);
        QFETCH(bool, loopbackMaySkipTls);
        QFETCH(bool, ok);
        QFETCH(bool, implicitTls);
        QFETCH(bool, tlsRequired);
        QFETCH(bool, verify);
        MailTransportOptions options;
        options.loopbackMaySkipTls = loopbackMaySkipTls;
        const TransportPlan plan = PlanTransport(server, port, auth, options);
        QCOMPARE(plan.ok, ok);
        if (!ok) {
            QVERIFY(!plan.failure.isEmpty());
            return;
        }
        QCOMPARE(plan.implicitTls, implicitTls);
        QCOMPARE(plan.tlsRequired || plan.implicitTls, tlsRequired);
        QCOMPARE(plan.verifyCertificate, verify);
        QCOMPARE(plan.port, port);
    }

    // The body of a text-only mail: lines of at most 76, none starting with a
    // dot, a blank at a line's end kept, and the text back whole when decoded.
    void quotedPrintable_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("long ASCII line") << QByteArray(500, 'x');
        QTest::newRow("long line not ASCII") << QString(300, QChar(0x00E9)).toUtf8();
        QTest::newRow("dots where lines start") << (".\r\n..\r\n" + QByteArray(75, 'a') + "." + QByteArray(80, '.'));
        QTest::newRow("blanks and equals signs") << QByteArray("a=b \r\ntab\t\r\n \r\n=\r\n");
        QTest::newRow("no line end at the end") << QByteArray("last line  ");
    }

    void quotedPrintable()
    {
        QFETCH(QByteArray, text);
        const QByteArray encoded = QuotedPrintable(text);
        QByteArray decoded;
        for (const QByteArray &line : encoded.split('\n')) {
            const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
            QVERIFY2(bare.size() <= 76, bare.constData());
            QVERIFY(!bare.startsWith('.'));
            QVERIFY(!bare.endsWith(' ') && !bare.endsWith('\t'));
            for (char c : bare)
                QVERIFY(c >= 32 && c < 127);
            const bool soft = bare.endsWith('=');
            const QByteArray body = soft ? bare.chopped(1) : bare;
            for (qsizetype i = 0; i < body.size(); ++i) {
                if (body[i] == '=') {
                    decoded.append(static_cast<char>(body.mid(i + 1, 2).toInt(nullptr, 16)));
                    i += 2;
                } else {
                    decoded.append(body[i]);
                }
            }
            if (!soft && line.endsWith('\r'))
                decoded.append("\r\n");
        }
        QCOMPARE(decoded, text);
    }

    // One composed message, one stream: its size is known before the first
    // byte, whatever pieces a transport reads it in, and the same mail
    // always makes the same bytes. Each kind has the outer shape readers
    // expect: a page without an attachment is not wrapped in a mixed
    // multipart of one.
    void messageStream_data()
    {
        QTest::addColumn<bool>("html");
        QTest::addColumn<bool>("attachment");
        QTest::addColumn<QByteArray>("outerType");
        QTest::addColumn<int>("boundaries");
        QTest::newRow("text") << false << false << QByteArray("text/plain; charset=utf-8") << 0;
        QTest::newRow("html") << true << false << QByteArray("multipart/alternative;") << 1;
        QTest::newRow("text and attachment") << false << true << QByteArray("multipart/mixed;") << 1;
        QTest::newRow("html and attachment") << true << true << QByteArray("multipart/mixed;") << 2;
    }

    void messageStream()
    {
        QFETCH(bool, html);
        QFETCH(bool, attachment);
        QFETCH(QByteArray, outerType);
        QFETCH(int, boundaries);

        QTemporaryDir dir;
        MailDraft draft = BasicDraft();
        draft.date = QDateTime(QDate(2024, 2, 1), QTime(9, 30), QTimeZone(36000));
        draft.textBody = QStringLiteral("Line one\r\n.\r\n") + QString(200, u'x') + QStringLiteral("\r\n");
        if (html) {
            draft.html = true;
            draft.htmlPage = QString::fromUtf8(kRenderedPage);
        }
        const QByteArray file = RandomBytes(200 * 1024 + 7, 11);
        if (attachment) {
            const QString path = dir.filePath(QStringLiteral("plan.bin"));
            QVERIFY(WriteWholeFile(path, file));
            draft.attachment = MailAttachment{path, QStringLiteral("plan.bin"), "application/octet-stream"};
        }
        const ComposedMail mail = ComposeMail(draft);
        QVERIFY(mail.ok);

        QString failure;
        const QByteArray bytes = MessageBytes(mail, &failure);
        QVERIFY2(!bytes.isEmpty(), qPrintable(failure));
        QCOMPARE(MessageBytes(ComposeMail(draft)), bytes);

        MessageStream stream;
        QVERIFY(stream.open(mail));
        QCOMPARE(stream.size(), std::int64_t(bytes.size()));
        // In odd pieces, as a transport might ask, across every seam.
        QByteArray pieces;
        char buffer[4099];
        for (std::int64_t n; (n = stream.read(buffer, sizeof buffer)) > 0;)
            pieces.append(buffer, static_cast<qsizetype>(n));
        QCOMPARE(pieces, bytes);
        QVERIFY(stream.rewind());
        char first[8];
        QCOMPARE(stream.read(first, sizeof first), std::int64_t(8));
        QCOMPARE(QByteArray(first, 8), bytes.left(8));

        const qsizetype split = bytes.indexOf("\r\n\r\n");
        const QByteArray head = bytes.left(split + 2);
        QVERIFY2(head.contains("\r\nContent-Type: " + outerType), head.constData());
        QVERIFY(head.startsWith(mail.headers.first() + "\r\n"));
        QCOMPARE(head.count("boundary=\"=_"), qsizetype(boundaries == 0 ? 0 : 1));
        QCOMPARE(bytes.count("boundary=\"=_"), qsizetype(boundaries));
        QCOMPARE(bytes.contains("\r\n--=_"), boundaries > 0);
        for (const QByteArray &line : bytes.split('\n'))
            QVERIFY(line.size() <= 78);
        QVERIFY(!bytes.contains("\n.") && !bytes.contains("\r\r"));
        if (attachment)
            QVERIFY(bytes.contains("Content-Transfer-Encoding: base64\r\n"
                                   "Content-Disposition: attachment; filename=\"plan.bin\"\r\n\r\n" +
                                   WrappedBase64(file) + "\r\n--=_"));
        if (html)
            QVERIFY(bytes.contains("Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: "
                                   "quoted-printable\r\n\r\n") &&
                    bytes.contains("Content-Type: text/html; charset=utf-8\r\n"));
        QVERIFY(bytes.endsWith(boundaries ? "--\r\n" : "\r\n"));
    }

    // An attachment that no longer reads as it was opened stops the stream
    // with the reason, instead of sending something of another size.
    void messageStreamStopsOnAChangedAttachment()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteWholeFile(path, QByteArray(100000, 'a')));
        MailDraft draft = BasicDraft();
        draft.attachment = MailAttachment{path, QStringLiteral("a.txt"), "text/plain"};
        MessageStream stream;
        QVERIFY(stream.open(ComposeMail(draft)));
        QVERIFY(WriteWholeFile(path, QByteArray(10, 'a')));
        std::vector<char> buffer(static_cast<std::size_t>(stream.size()));
        QCOMPARE(stream.read(buffer.data(), buffer.size()), std::int64_t(-1));
        QVERIFY2(stream.failure().contains(path), qPrintable(stream.failure()));

        QFile::remove(path);
        QVERIFY(!stream.open(ComposeMail(draft)));
        QVERIFY(stream.failure().contains(path));
        QVERIFY(MessageBytes(ComposeMail(draft)).isEmpty());
    }

    void ehloNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("qualified");
        QTest::newRow("full name") << QByteArray("desk1.office.example") << true;
        QTest::newRow("short name") << QByteArray("desk1") << false;
        QTest::newRow("localhost") << QByteArray("localhost") << false;
        QTest::newRow("localhost.localdomain") << QByteArray("localhost.localdomain") << false;
        QTest::newRow("empty label") << QByteArray("desk1..example") << false;
        QTest::newRow("underscore") << QByteArray("desk_1.example") << false;
        QTest::newRow("hyphen at a label's edge") << QByteArray("-desk.example") << false;
        QTest::newRow("label of 64") << QByteArray(64, 'a') + ".example" << false;
        QTest::newRow("line break") << QByteArray("desk.example\r\nRSET") << false;
        QTest::newRow("percent") << QByteArray("desk%0d.example") << false;
    }

    void ehloNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, qualified);
        QCOMPARE(IsFullyQualifiedName(name), qualified);
    }

    void addressLiterals_data()
    {
        QTest::addColumn<QByteArray>("address");
        QTest::addColumn<QByteArray>("literal");
        QTest::newRow("IPv4") << QByteArray("192.0.2.10") << QByteArray("[192.0.2.10]");
        QTest::newRow("IPv6") << QByteArray("2001:db8::1") << QByteArray("[IPv6:2001:db8::1]");
        QTest::newRow("IPv6 loopback") << QByteArray("::1") << QByteArray("[IPv6:::1]");
        QTest::newRow("IPv4 mapped") << QByteArray("::ffff:192.0.2.1") << QByteArray("[192.0.2.1]");
        QTest::newRow("scope dropped") << QByteArray("fe80::1%eth0") << QByteArray("[IPv6:fe80::1]");
        QTest::newRow("a name") << QByteArray("desk1") << QByteArray();
        QTest::newRow("nothing") << QByteArray() << QByteArray();
    }

    void addressLiterals()
    {
        QFETCH(QByteArray, address);
        QFETCH(QByteArray, literal);
        QCOMPARE(AddressLiteral(address), literal);
    }

    // Whatever the machine is called, EHLO gets a full name or a literal.
    void ehloNameIsQualifiedOrALiteral_data()
    {
        QTest::addColumn<QString>("hostName");
        QTest::addColumn<QByteArray>("expected"); // empty: any full name or literal
        QTest::newRow("full name") << "desk1.office.example" << QByteArray("desk1.office.example");
        QTest::newRow("full name with the root's dot") << "desk1.office.example." << QByteArray("desk1.office.example");
        QTest::newRow("short name without a full one") << "quorvane-test-no-such-host" << QByteArray("[127.0.0.1]");
        QTest::newRow("localhost") << "localhost" << QByteArray("[127.0.0.1]");
        QTest::newRow("hostile") << "a\r\nRSET" << QByteArray("[127.0.0.1]");
        QTest::newRow("the machine's own") << "" << QByteArray();
    }

    void ehloNameIsQualifiedOrALiteral()
    {
        QFETCH(QString, hostName);
        QFETCH(QByteArray, expected);
        const QByteArray name = EhloName(hostName, QStringLiteral("127.0.0.1"), 25);
        if (expected.isEmpty())
            QVERIFY2(IsFullyQualifiedName(name) || name.startsWith('['), name.constData());
        else
            QCOMPARE(name, expected);
    }

    void ipv6HostIsBracketed()
    {
        QCOMPARE(PlanTransport(QStringLiteral("::1"), 25, false, {}).host, QStringLiteral("[::1]"));
        QCOMPARE(PlanTransport(QStringLiteral("[2001:db8::1]"), 25, false, {}).host, QStringLiteral("[2001:db8::1]"));
        QCOMPARE(PlanTransport(QStringLiteral(" mail.example.org "), 25, false, {}).host, QStringLiteral("mail.example.org"));
        QVERIFY(!IsLoopbackHost(QStringLiteral("2001:db8::1")));
        QVERIFY(!IsLoopbackHost(QStringLiteral("128.0.0.1")));
        QVERIFY(IsLoopbackHost(QStringLiteral("[::1]")));
    }
};

QTEST_GUILESS_MAIN(TestMailComposition)
#include "test_mail_composition.moc"
