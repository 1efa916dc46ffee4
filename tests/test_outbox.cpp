#include "TestSupport.h"

#include "app/OutboxRecord.h"
#include "app/SendMail.h"
#include "message/OutgoingMessage.h"
#include "store/InvertText.h"
#include "store/StoredData.h"
#include "store/TextField.h"

#include <QtTest>

// A message as the outbox keeps it: what delivery and the form need, as
// plain values, and when a message that may go later is tried again.
namespace {

FormSnapshot Snapshot()
{
    FormSnapshot s;
    s.inputs.recipientTicked[0] = true;
    s.inputs.recipientTicked[39] = true;
    s.inputs.tickedPhrases = {Phrase::Telephoned, Phrase::Urgent, Phrase::Custom2};
    s.inputs.callerName = QStringLiteral("Zoë Ñúñez");
    s.inputs.callerCompany = QStringLiteral("Acme \"Pty\" Ltd");
    s.inputs.callerPhone = QStringLiteral("03 9555 0100");
    s.inputs.callerEmail = QStringLiteral("zoe@acme.example");
    s.inputs.messageText = QStringLiteral("Line one\r\nLine <two> & 😀");
    s.hasAttachment = true;
    s.attachmentPath = QStringLiteral("/home/desk/Plans/Floor plan.pdf");
    s.attachmentName = QStringLiteral("Floor plan.pdf");
    s.ccCallerTicked = true;
    return s;
}

} // namespace

class TestOutbox : public QObject {
    Q_OBJECT

private slots:
    // Everything goes in and comes out again as it was, the password never.
    void recordKeepsTheJobAndTheFormButNotThePassword()
    {
        StoredData data;
        data.activeSmtpServer = QStringLiteral("mail.example.org");
        data.settings.smtpPort = 587;
        data.settings.useAuthentication = 1;
        data.settings.bccToSender = 1;
        data.settings.ccCaller = 1;
        WriteTextField(data.settings.senderName, QStringLiteral("Front Desk"));
        WriteTextField(data.settings.senderAddress, QStringLiteral("desk@example.org"));
        WriteTextField(data.settings.smtpUserName, QStringLiteral("desk"));
        std::array<char, 128> clear{};
        const QByteArray password = "s3cret-pässword";
        std::copy(password.begin(), password.end(), clear.begin());
        InvertText(clear, data.settings.smtpPassword);
        OutgoingMessage rendered;
        rendered.toList = QStringLiteral("Ann <ann@example.org>;bob@example.org");
        rendered.subject = QStringLiteral("Message From: Zoë Ñúñez");
        rendered.html = true;
        rendered.htmlPage = QStringLiteral("<table>page</table>");
        rendered.callerEmail = QStringLiteral("zoe@acme.example");
        rendered.importance = 2;
        DeliveryJob job = MakeDeliveryJob(data, rendered);
        job.draft.messageId = "abc@example.org";
        const QDateTime taken = job.draft.date;
        QVERIFY(taken.isValid());

        const FormSnapshot sent = Snapshot();
        StoredMessage stored = MakeStoredMessage(sent, rendered, job, taken);
        QVERIFY(!stored.delivery.contains(password) && !stored.form.contains(password));
        QCOMPARE(stored.takenAt, taken.toUTC());
        QCOMPARE(stored.messageId, QByteArray("abc@example.org"));
        QCOMPARE(stored.recipients, rendered.toList);
        QCOMPARE(stored.callerName, sent.inputs.callerName);
        QCOMPARE(stored.messageText, sent.inputs.messageText);
        QCOMPARE(stored.attachmentName, QStringLiteral("Floor plan.pdf"));

        stored.attachmentPath = QStringLiteral("/store/copy/Floor plan.pdf");
        const std::optional<DeliveryJob> again = JobFromStoredMessage(stored);
        QVERIFY(again);
        QCOMPARE(again->draft.from, job.draft.from);
        QCOMPARE(again->draft.to, job.draft.to);
        QCOMPARE(again->draft.subject, job.draft.subject);
        QCOMPARE(again->draft.cc, job.draft.cc);
        QCOMPARE(again->draft.bcc, job.draft.bcc);
        QCOMPARE(again->draft.html, true);
        QCOMPARE(again->draft.htmlPage, job.draft.htmlPage);
        QCOMPARE(again->draft.importance, 2);
        QCOMPARE(again->draft.date, job.draft.date);
        QCOMPARE(again->draft.messageId, job.draft.messageId);
        QCOMPARE(again->attachmentPath, stored.attachmentPath);
        QCOMPARE(again->server, QStringLiteral("mail.example.org"));
        QCOMPARE(again->port, 587);
        QVERIFY(again->useAuthentication);
        QCOMPARE(again->userName, QByteArray("desk"));
        QVERIFY(again->password.isWiped());

        const std::optional<FormSnapshot> back = SnapshotFromStoredMessage(stored);
        QVERIFY(back);
        QCOMPARE(back->inputs.recipientTicked, sent.inputs.recipientTicked);
        QCOMPARE(back->inputs.tickedPhrases, sent.inputs.tickedPhrases);
        QCOMPARE(back->inputs.callerName, sent.inputs.callerName);
        QCOMPARE(back->inputs.callerCompany, sent.inputs.callerCompany);
        QCOMPARE(back->inputs.callerPhone, sent.inputs.callerPhone);
        QCOMPARE(back->inputs.callerEmail, sent.inputs.callerEmail);
        QCOMPARE(back->inputs.messageText, sent.inputs.messageText);
        QCOMPARE(back->ccCallerTicked, true);
        QVERIFY(back->hasAttachment);
        QCOMPARE(back->attachmentPath, stored.attachmentPath); // the copy, not the original
    }

    void unreadableRecordsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("delivery");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("{\"version\":1,");
        QTest::newRow("a newer version") << QByteArray("{\"version\":2,\"date\":\"2026-12-11T09:00:00Z\",\"messageId\":\"a@b\"}");
        QTest::newRow("no date") << QByteArray("{\"version\":1,\"messageId\":\"a@b\"}");
        QTest::newRow("no message id") << QByteArray("{\"version\":1,\"date\":\"2026-12-11T09:00:00Z\"}");
    }

    void unreadableRecordsAreRefused()
    {
        QFETCH(QByteArray, delivery);
        StoredMessage m;
        m.delivery = delivery;
        m.form = delivery;
        QVERIFY(!JobFromStoredMessage(m));
        if (!delivery.startsWith("{\"version\":1,\""))
            QVERIFY(!SnapshotFromStoredMessage(m));
    }

    void nextTry_data()
    {
        QTest::addColumn<int>("attemptsSoFar");
        QTest::addColumn<int>("retryAfter");
        QTest::addColumn<int>("seconds");
        QTest::newRow("first failure") << 1 << -1 << 30;
        QTest::newRow("second") << 2 << -1 << 60;
        QTest::newRow("third") << 3 << -1 << 120;
        QTest::newRow("fourth") << 4 << -1 << 300;
        QTest::newRow("fifth") << 5 << -1 << 600;
        QTest::newRow("sixth") << 6 << -1 << 900;
        QTest::newRow("fiftieth") << 50 << -1 << 900;
        QTest::newRow("the server asked for longer") << 1 << 120 << 120;
        QTest::newRow("the server asked for less") << 5 << 5 << 600;
        QTest::newRow("at most a day") << 1 << 10 * 24 * 3600 << 24 * 3600;
    }

    void nextTry()
    {
        QFETCH(int, attemptsSoFar);
        QFETCH(int, retryAfter);
        QFETCH(int, seconds);
        const QDateTime at(QDate(2026, 12, 11), QTime(9, 0), Qt::UTC);
        QCOMPARE(NextTry(at, attemptsSoFar, retryAfter), at.addSecs(seconds));
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "test_outbox.moc"
