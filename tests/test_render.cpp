#include "TestSupport.h"

#include "ProductInfo.h"
#include "message/ClockTexts.h"
#include "message/PhraseTable.h"
#include "message/RenderMessage.h"
#include "store/DataFiles.h"
#include "store/StoredData.h"
#include "store/TextField.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

namespace {

const QString kFixtures = QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/render/");

// A golden body, with the web address this build was configured with in
// place of the one the file was written with.
QByteArray Golden(const QString &name)
{
    return ReadWholeFile(kFixtures + name).replace("https://quorvane.lumarc.example/", kProductWebAddress);
}

// What rendering reads, and the message it last returned.
struct RenderState : StoredData {
    ClockTexts clock;
    OutgoingMessage message;
};

// A profile in folder with a sender, three recipients and the clock fixed at
// 9:05 on 5 January 2024 in Australian English.
void PrepareState(RenderState &state, const QString &folder)
{
    PointDataAt(state, folder);
    WriteTextField(state.settings.senderName, QStringLiteral("Reception"));
    WriteTextField(state.settings.senderAddress, QStringLiteral("reception@lumarc.example"));
    WriteTextField(state.recipients.entries[0].address, QStringLiteral("ann@lumarc.example"));
    WriteTextField(state.recipients.entries[2].address, QStringLiteral("cy@lumarc.example"));
    state.clock = MakeClockTexts(QDateTime(QDate(2024, 1, 5), QTime(9, 5)),
                                 QLocale(QLocale::English, QLocale::Australia));
}

MessageFormInputs OneRecipient()
{
    MessageFormInputs in;
    in.recipientTicked[0] = true;
    return in;
}

RenderOutcome Render(RenderState &state, const MessageFormInputs &in)
{
    const RenderOutcome outcome = RenderMessage(in, state.clock, state);
    state.message = outcome.message;
    return outcome;
}

QString RenderText(RenderState &state, const MessageFormInputs &in)
{
    state.activeSendAsHtml = 0;
    Render(state, in); // text mode cannot fail
    return state.message.textBody;
}

// The page as written, decoded from its UTF-8 bytes.
QString RenderHtml(RenderState &state, const MessageFormInputs &in)
{
    state.activeSendAsHtml = 1;
    const RenderOutcome outcome = Render(state, in);
    if (!outcome.ok)
        QTest::qFail(qPrintable("could not write " + outcome.failedPath), __FILE__, __LINE__);
    return QString::fromUtf8(ReadWholeFile(HtmlBodyFilePath(state.appDataFolder)));
}

QString ValueCell(const QString &value)
{
    return QStringLiteral("<td width=\"92%\"><font SIZE=\"2\" face=\"Verdana\">") + value
           + QStringLiteral("</font></td></tr><tr>\r\n");
}

enum Field { CallerName, CallerCompany, CallerPhone, CallerEmail, CustomPhrase1, CustomPhrase2, SenderName, SenderAddress };

} // namespace

class TestRender : public QObject {
    Q_OBJECT
private slots:
    void textBodyMatchesGolden()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        WriteTextField(state.settings.customMessage1, QStringLiteral("Re: invoice 42"));
        state.settings.customMessage1Enabled = 1;

        MessageFormInputs in = OneRecipient();
        in.recipientTicked[2] = true;
        in.callerName = QStringLiteral("Zoë Adebayo-Ng");
        in.callerCompany = QStringLiteral("Acme Pty Ltd");
        in.callerPhone = QStringLiteral("03 9555 0100");
        in.callerEmail = QStringLiteral("zoe@acme.example");
        in.messageText = QStringLiteral("Please ring before 5.\r\nShe is in Sydney all week.");
        in.tickedPhrases = {Phrase::PleaseCallBack, Phrase::Custom1, Phrase::Telephoned,
                            Phrase::Urgent};

        QCOMPARE(RenderText(state, in).toUtf8(), Golden("text_body.txt"));
        QCOMPARE(state.message.toList, QStringLiteral("ann@lumarc.example;cy@lumarc.example"));
        QCOMPARE(state.message.subject, QStringLiteral("Message From: Zoë Adebayo-Ng"));
        QCOMPARE(state.message.importance, 2);
        QCOMPARE(state.message.messageText, in.messageText);
        QVERIFY(!QFileInfo::exists(HtmlBodyFilePath(dir.path())));
    }

    void htmlFileMatchesGolden()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        WriteTextField(state.settings.senderName, QStringLiteral("Reception & Front Desk"));
        WriteTextField(state.settings.customMessage2, QStringLiteral("Ask for \"Bill\""));
        state.settings.customMessage2Enabled = 1;

        MessageFormInputs in = OneRecipient();
        in.callerName = QStringLiteral("Jane <jane@example.org>");
        in.callerCompany = QStringLiteral("Müller & Söhne");
        in.callerPhone = QStringLiteral("03 9555 0100");
        in.callerEmail = QStringLiteral("jane@example.org");
        in.messageText = QStringLiteral("Call <b>today</b>\r\nat 5");
        in.tickedPhrases = {Phrase::Custom2, Phrase::NotUrgent};

        state.activeSendAsHtml = 1;
        const RenderOutcome outcome = Render(state, in);
        QVERIFY(outcome.ok);
        const QString path = dir.path() + "/Lumarc/quorvane/this_html_message.htm";
        QCOMPARE(ReadWholeFile(path), Golden("html_body.htm"));
        // The sender gets the page itself, the same as the file.
        QVERIFY(state.message.html);
        QCOMPARE(state.message.htmlPage.toUtf8(), ReadWholeFile(path));
        QCOMPARE(state.message.subject, QStringLiteral("Message From: Jane <jane@example.org>"));
        QCOMPARE(state.message.messageText, QStringLiteral("Call&nbsp;&lt;b&gt;today&lt;/b&gt;\r\n<br>at&nbsp;5"));
        QCOMPARE(state.message.importance, 0);
        QVERIFY(state.message.textBody.isEmpty());
    }

    void toList_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QString>("toList");
        const QStringList aBc = {"A", "", "C"};
        QTest::newRow("A;C") << aBc << QList<int>{0, 2} << "A;C";
        QTest::newRow("empty address keeps its place") << aBc << QList<int>{0, 1, 2} << "A;;C";
        QTest::newRow("first ticked has no separator") << aBc << QList<int>{2} << "C";

        // 40 addresses of 127 characters need more than the 4,096 bytes an
        // address list once had; every one must arrive.
        QStringList longOnes;
        QList<int> all;
        for (int i = 0; i < kRecipientCount; ++i) {
            longOnes << QString::number(i).rightJustified(2, '0') + QString(107, 'a') + "@lumarc.example";
            all << i;
        }
        QTest::newRow("40 long addresses whole") << longOnes << all << longOnes.join(';');
    }

    void toList()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QList<int>, ticked);
        QFETCH(QString, toList);
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        for (std::size_t i = 0; i < state.recipients.entries.size(); ++i) {
            const auto row = static_cast<qsizetype>(i);
            WriteTextField(state.recipients.entries[i].address,
                           row < addresses.size() ? addresses[row] : QString());
        }
        MessageFormInputs in;
        for (int i : ticked)
            in.recipientTicked[static_cast<std::size_t>(i)] = true;
        RenderText(state, in);
        QCOMPARE(state.message.toList, toList);
    }

    // A bare address goes out with the table's name, so the To line reads
    // "Alice Able <alice@example.org>"; an entry with a name or several
    // addresses of its own is left as written.
    void recipientNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("entry");
        QTest::newRow("bare address") << "Alice Able" << "alice@example.org" << "Alice Able <alice@example.org>";
        QTest::newRow("blanks around it") << " Alice  Able " << " alice@example.org " << "Alice Able <alice@example.org>";
        QTest::newRow("comma in the name") << "Smith, Bob" << "bob@example.org" << "\"Smith, Bob\" <bob@example.org>";
        QTest::newRow("quotes in the name") << "Bob \"B\" Smith" << "bob@example.org"
                                            << "\"Bob \\\"B\\\" Smith\" <bob@example.org>";
        QTest::newRow("not ASCII") << "Zoë Ñúñez" << "zoe@example.org" << "Zoë Ñúñez <zoe@example.org>";
        QTest::newRow("no name") << "" << "alice@example.org" << "alice@example.org";
        QTest::newRow("a name of its own") << "Carol" << "Carol Chan <carol@example.org>" << "Carol Chan <carol@example.org>";
        QTest::newRow("several addresses") << "Team" << "a@example.org; b@example.org" << "a@example.org; b@example.org";
        QTest::newRow("no address") << "Ann" << "" << "";
        QTest::newRow("not an address") << "Ann" << "ann" << "ann";
    }

    void recipientNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, entry);
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        WriteTextField(state.recipients.entries[0].name, name);
        WriteTextField(state.recipients.entries[0].address, address);
        MessageFormInputs in = OneRecipient();
        in.recipientTicked[2] = true;
        RenderText(state, in);
        QCOMPARE(state.message.toList, entry + QStringLiteral(";cy@lumarc.example"));
    }

    void emptyCallerNameStaysEmpty()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        in.callerCompany = QStringLiteral("Acme");

        QVERIFY(RenderText(state, in).contains("Time: 9:05\r\nFrom: \r\nCompany: Acme\r\n"));
        QCOMPARE(state.message.subject, QStringLiteral("Message From: "));
        QVERIFY(RenderHtml(state, in).contains(QStringLiteral("color=\"#0000FF\">From:</font></td>\r\n")
                                               + ValueCell(QString())));
        QCOMPARE(state.message.subject, QStringLiteral("Message From: "));
    }

    void phrases_data()
    {
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QString>("textLines");
        QTest::addColumn<QString>("htmlItems");
        QTest::addColumn<int>("importance");
        using namespace Phrase;
        auto item = [](const char *t) {
            return QStringLiteral("<li><font face=\"Verdana\" size=\"2\">") + t
                   + QStringLiteral("</font></li>\r\n");
        };

        QTest::newRow("none") << QList<int>{} << "" << "" << 1;
        QTest::newRow("URGENT first") << QList<int>{Telephoned, Urgent} << "[X] URGENT\r\n[X] Telephoned\r\n"
                                      << item("URGENT") + item("Telephoned") << 2;
        QTest::newRow("Not Urgent first") << QList<int>{WillCallBackLater, NotUrgent}
                                          << "[X] Not Urgent\r\n[X] Will call back later\r\n"
                                          << item("Not Urgent") + item("Will call back later") << 0;
        QTest::newRow("box says Email, phrase says email")
            << QList<int>{PleaseContactViaEmail} << "[X] Please contact via email\r\n"
            << item("Please contact via email") << 1;
        // Custom 1 is enabled but empty; custom 2 is disabled, so its stale
        // tick must not print its hidden text.
        QTest::newRow("every box, in printing order")
            << QList<int>{Custom2, WillSendYouAnEmail, Custom1, WillCallBackLater, ReturnedYourCall,
                          PleaseCallBack, Telephoned, PleaseContactViaEmail, LeftItems,
                          WillVisitAnotherTime, VisitedToSeeYou}
            << "[X] Visited to see you\r\n[X] Will visit another time\r\n[X] Left item(s)\r\n"
               "[X] Please contact via email\r\n[X] Telephoned\r\n[X] Please call back\r\n"
               "[X] Returned your call\r\n[X] Will call back later\r\n[X] \r\n"
               "[X] Will send you an Email\r\n"
            << item("Visited to see you") + item("Will visit another time") + item("Left item(s)")
                   + item("Please contact via email") + item("Telephoned") + item("Please call back")
                   + item("Returned your call") + item("Will call back later") + item("")
                   + item("Will send you an Email")
            << 1;
    }

    void phrases()
    {
        QFETCH(QList<int>, ticked);
        QFETCH(QString, textLines);
        QFETCH(QString, htmlItems);
        QFETCH(int, importance);
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        state.settings.customMessage1Enabled = 1;
        WriteTextField(state.settings.customMessage2, QStringLiteral("Hidden phrase"));
        state.settings.customMessage2Enabled = 0;
        state.message.importance = 2; // left by an earlier urgent message

        MessageFormInputs in = OneRecipient();
        in.messageText = QStringLiteral("MSG");
        for (int phrase : ticked)
            in.tickedPhrases.insert(static_cast<Phrase::Id>(phrase));

        QVERIFY(RenderText(state, in).contains(QStringLiteral("MSG\r\n\r\n") + textLines
                                               + QStringLiteral("\r\n\r\nMessage taken by:\r\n")));
        QCOMPARE(state.message.importance, importance);
        state.message.importance = 2;
        const QString html = RenderHtml(state, in);
        QVERIFY(html.contains(QStringLiteral("MSG</font><br>\r\n<ul>") + htmlItems
                              + QStringLiteral("</ul><p>\r\n</td>")));
        QCOMPARE(state.message.importance, importance);
        QVERIFY(!html.contains("Hidden phrase"));
    }

    void messageText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("html");
        QTest::newRow("line break and blank") << "ab\r\nc d" << "ab\r\n<br>c&nbsp;d";
        QTest::newRow("lone LF dropped") << "a\nb" << "ab";
        QTest::newRow("LF before CR LF") << "a\n\r\nb" << "a\r\n<br>b";
        QTest::newRow("lone CR kept") << "a\rb" << "a\rb";
        QTest::newRow("CR LF at the end") << "end\r\n" << "end\r\n<br>";
        // What was typed shows as typed: markup would vanish or change the page.
        QTest::newRow("markup shows as typed") << "<b>not bold</b>" << "&lt;b&gt;not&nbsp;bold&lt;/b&gt;";
        QTest::newRow("an address in brackets")
            << "Tom <tom@example.org> today." << "Tom&nbsp;&lt;tom@example.org&gt;&nbsp;today.";
        QTest::newRow("a lone bracket") << "Price <100 EUR, code <ABC-7>"
                                        << "Price&nbsp;&lt;100&nbsp;EUR,&nbsp;code&nbsp;&lt;ABC-7&gt;";
        QTest::newRow("ampersand and quotes") << "Fish & \"Chips\" &amp;" << "Fish&nbsp;&amp;&nbsp;&quot;Chips&quot;&nbsp;&amp;amp;";
        QTest::newRow("percent signs are text") << "100% %s %d %% %1 %n" << "100%&nbsp;%s&nbsp;%d&nbsp;%%&nbsp;%1&nbsp;%n";
        QTest::newRow("non-ASCII") << "Grüße 😀 日本" << "Grüße&nbsp;😀&nbsp;日本";
        QTest::newRow("empty") << "" << "";
    }

    void messageText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, html);
        QCOMPARE(ConvertTextToHtml(typed), html);

        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        in.messageText = typed;
        QVERIFY(RenderText(state, in).contains(QStringLiteral("Message: \r\n\r\n") + typed
                                               + QStringLiteral("\r\n\r\n\r\n\r\nMessage taken by:")));
        QCOMPARE(state.message.messageText, typed);
        QVERIFY(RenderHtml(state, in).contains(QStringLiteral("0.8em\">") + html
                                               + QStringLiteral("</font><br>\r\n<ul>")));
        QCOMPARE(state.message.messageText, html);
    }

    void valuesInBothBodies_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text"); // as the text body prints it
        QTest::addColumn<QString>("html"); // as the page prints it

        const QString jane = QStringLiteral("Jane <jane@example.org>");
        const QString janeHtml = QStringLiteral("Jane &lt;jane@example.org&gt;");
        auto li = [](const QString &t) {
            return QStringLiteral("size=\"2\">") + t + QStringLiteral("</font></li>");
        };
        QTest::newRow("name") << int(CallerName) << jane << "From: " + jane + "\r\n" << ValueCell(janeHtml);
        QTest::newRow("company") << int(CallerCompany) << "Smith & \"Sons\"" << "Company: Smith & \"Sons\"\r\n"
                                 << ValueCell("Smith &amp; &quot;Sons&quot;");
        QTest::newRow("phone") << int(CallerPhone) << "<07> 1234" << "Phone: <07> 1234\r\n" << ValueCell("&lt;07&gt; 1234");
        QTest::newRow("email") << int(CallerEmail) << "a&b@x.example" << "Email: a&b@x.example\r\n"
                               << ValueCell("a&amp;b@x.example");
        QTest::newRow("custom 1") << int(CustomPhrase1) << "<i>Fax</i> sent" << "[X] <i>Fax</i> sent\r\n"
                                  << li("&lt;i&gt;Fax&lt;/i&gt; sent");
        QTest::newRow("custom 2") << int(CustomPhrase2) << "Q&A \"now\"" << "[X] Q&A \"now\"\r\n"
                                  << li("Q&amp;A &quot;now&quot;");
        QTest::newRow("sender name") << int(SenderName) << "Front <Desk>" << "\r\n\r\nFront <Desk>\r\n"
                                     << "color=\"#0000FF\">Front &lt;Desk&gt;<br>\r\n";
        QTest::newRow("sender address") << int(SenderAddress) << "a\"b@x.example" << "\r\na\"b@x.example\r\n\r\n"
                                        << "<a href=\"mailto:a&quot;b@x.example\">a&quot;b@x.example</font>";

        // User text is printed as it stands, never read as a format.
        QTest::newRow("percent in name") << int(CallerName) << "100% %s %1 %2" << "From: 100% %s %1 %2\r\n"
                                         << ValueCell("100% %s %1 %2");
        QTest::newRow("percent in custom") << int(CustomPhrase1) << "%d%% off %n" << "[X] %d%% off %n\r\n"
                                           << li("%d%% off %n");
        QTest::newRow("percent in sender") << int(SenderName) << "%s%s%s" << "\r\n\r\n%s%s%s\r\n"
                                           << "color=\"#0000FF\">%s%s%s<br>\r\n";

        QTest::newRow("non-ASCII name") << int(CallerName) << "Zoë Ñúñez 日本 😀" << "From: Zoë Ñúñez 日本 😀\r\n"
                                        << ValueCell("Zoë Ñúñez 日本 😀");
        QTest::newRow("non-ASCII sender") << int(SenderName) << "Réception Bjørk" << "\r\n\r\nRéception Bjørk\r\n"
                                          << "color=\"#0000FF\">Réception Bjørk<br>\r\n";
    }

    void valuesInBothBodies()
    {
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(QString, text);
        QFETCH(QString, html);
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        switch (field) {
        case CallerName: in.callerName = value; break;
        case CallerCompany: in.callerCompany = value; break;
        case CallerPhone: in.callerPhone = value; break;
        case CallerEmail: in.callerEmail = value; break;
        case CustomPhrase1:
            WriteTextField(state.settings.customMessage1, value);
            state.settings.customMessage1Enabled = 1;
            in.tickedPhrases = {Phrase::Custom1};
            break;
        case CustomPhrase2:
            WriteTextField(state.settings.customMessage2, value);
            state.settings.customMessage2Enabled = 1;
            in.tickedPhrases = {Phrase::Custom2};
            break;
        case SenderName: WriteTextField(state.settings.senderName, value); break;
        case SenderAddress: WriteTextField(state.settings.senderAddress, value); break;
        }

        QVERIFY2(RenderText(state, in).contains(text), qPrintable(state.message.textBody));
        const QString page = RenderHtml(state, in);
        QVERIFY2(page.contains(html), qPrintable(page));
    }

    void cuts_data()
    {
        QTest::addColumn<bool>("isMessage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const QString smile = QStringLiteral("😀"); // one character, two UTF-16 units
        QTest::newRow("name of 127 whole") << false << QString(127, 'n') << QString(127, 'n');
        QTest::newRow("name cut to 127") << false << QString(130, 'n') << QString(127, 'n');
        QTest::newRow("name: pairs count once") << false << smile.repeated(130) << smile.repeated(127);
        QTest::newRow("name: cut before a pair") << false << QString(127, 'n') + smile << QString(127, 'n');
        QTest::newRow("name: pair as 127th") << false << QString(126, 'n') + smile + "z"
                                             << QString(126, 'n') + smile;
        QTest::newRow("message of 9,999 whole") << true << QString(9999, 'm') << QString(9999, 'm');
        QTest::newRow("message cut to 9,999") << true << QString(10005, 'm') << QString(9999, 'm');
        QTest::newRow("message: cut before a pair") << true << QString(9999, 'm') + smile
                                                    << QString(9999, 'm');
        QTest::newRow("message: pair as 9,999th") << true << QString(9998, 'm') + smile + smile
                                                  << QString(9998, 'm') + smile;
        // The form has turned line breaks into CR LF: each counts as two.
        QTest::newRow("message: CR LF count as two") << true << QString(4999, 'm') + QString("\r\n").repeated(2501)
                                                     << QString(4999, 'm') + QString("\r\n").repeated(2500);
    }

    void cuts()
    {
        QFETCH(bool, isMessage);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        (isMessage ? in.messageText : in.callerName) = typed;
        const QString body = RenderText(state, in);
        if (isMessage) {
            QCOMPARE(state.message.messageText, kept);
            QVERIFY(body.contains(QStringLiteral("\r\n\r\n") + kept + QStringLiteral("\r\n\r\n\r\n\r\nMessage taken by:")));
        } else {
            QCOMPARE(state.message.callerName, kept);
            QCOMPARE(state.message.subject, QStringLiteral("Message From: ") + kept);
            QVERIFY(body.contains(QStringLiteral("From: ") + kept + QStringLiteral("\r\nCompany: ")));
        }
    }

    void otherCallerFieldsAreCut()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        in.callerCompany = QString(128, 'c');
        in.callerPhone = QString(200, 'p');
        in.callerEmail = QString(127, 'e') + QStringLiteral("@x");
        RenderText(state, in);
        QCOMPARE(state.message.callerCompany, QString(127, 'c'));
        QCOMPARE(state.message.callerPhone, QString(127, 'p'));
        QCOMPARE(state.message.callerEmail, QString(127, 'e'));
    }

    // The longest message grows six-fold in HTML and must arrive whole.
    void nineThousandNineHundredNinetyNineBlanksWhole()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();
        in.messageText = QString(9999, ' ');
        QVERIFY(RenderText(state, in).contains(QStringLiteral("\r\n") + QString(9999, ' ') + QStringLiteral("\r\n")));
        const QString nbsp = QStringLiteral("&nbsp;").repeated(9999);
        QCOMPARE(nbsp.size(), 59994);
        QVERIFY(RenderHtml(state, in).contains(QStringLiteral("0.8em\">") + nbsp + QStringLiteral("</font>")));
        QCOMPARE(state.message.messageText, nbsp);
    }

    // Each mode fills its own body only; a text message leaves the page file
    // of an earlier HTML one as it was.
    void eachModeFillsOnlyItsOwnBody()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        MessageFormInputs in = OneRecipient();

        in.messageText = QStringLiteral("first, as HTML");
        const QByteArray firstPage = RenderHtml(state, in).toUtf8();
        QVERIFY(state.message.html);
        QVERIFY(state.message.textBody.isEmpty());

        in.messageText = QStringLiteral("second, as text");
        QVERIFY(RenderText(state, in).contains("second, as text"));
        QVERIFY(!state.message.html);
        QVERIFY(state.message.htmlPage.isEmpty());
        QCOMPARE(ReadWholeFile(HtmlBodyFilePath(dir.path())), firstPage);
    }

    void htmlFileIsPrivateInAnyFolder()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/my config é");
        RenderState state;
        PrepareState(state, folder);
        const QByteArray page = RenderHtml(state, OneRecipient()).toUtf8();

        const QString path = folder + QStringLiteral("/Lumarc/quorvane/this_html_message.htm");
        QCOMPARE(ReadWholeFile(path), page);
        QCOMPARE(state.message.htmlPage.toUtf8(), page);
        // The page holds the message: only its owner may read it.
        QVERIFY(!(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther)));
    }

    // A full disk lets the page be opened and then cuts it short: the send
    // must fail before anything goes out, rather than mail an empty page.
    void pageCutShortByAWriteLimitFails()
    {
        QTemporaryDir dir;
        RenderState state;
        PrepareState(state, dir.path());
        const QString path = HtmlBodyFilePath(dir.path());
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(WriteWholeFile(path, "the page of the message before"));
        state.activeSendAsHtml = 1;
        MessageFormInputs in = OneRecipient();
        in.messageText = QString(3000, u'x');

        RenderOutcome outcome;
        {
            FileSizeLimit capped(1024);
            outcome = Render(state, in);
        }

        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.failedPath, path);
        QCOMPARE(ReadWholeFile(path), QByteArray("the page of the message before"));
        QCOMPARE(FolderEntries(QFileInfo(path).absolutePath()), QStringList{QStringLiteral("this_html_message.htm")});
    }

    void unwritableHtmlFileFails_data()
    {
        QTest::addColumn<QString>("blocker"); // a regular file where a folder is needed, or the reverse
        QTest::addColumn<bool>("blockerIsFolder");
        QTest::newRow("a file where the folder should be") << "Lumarc/quorvane" << false;
        QTest::newRow("a file where Lumarc should be") << "Lumarc" << false;
        QTest::newRow("a folder where the page should be") << "Lumarc/quorvane/this_html_message.htm" << true;
    }

    void unwritableHtmlFileFails()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, blockerIsFolder);
        QTemporaryDir dir;
        const QString blockerPath = dir.path() + '/' + blocker;
        QVERIFY(QDir().mkpath(QFileInfo(blockerPath).absolutePath()));
        if (blockerIsFolder)
            QVERIFY(QDir().mkpath(blockerPath));
        else
            QVERIFY(WriteWholeFile(blockerPath, "not a folder"));

        RenderState state;
        PrepareState(state, dir.path());
        state.activeSendAsHtml = 1;
        const RenderOutcome outcome = Render(state, OneRecipient());

        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.failedPath, HtmlBodyFilePath(dir.path()));
        if (!blockerIsFolder)
            QCOMPARE(ReadWholeFile(blockerPath), QByteArray("not a folder"));
    }
};

QTEST_APPLESS_MAIN(TestRender)
#include "test_render.moc"
