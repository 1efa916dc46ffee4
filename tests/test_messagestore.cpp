#include "TestSupport.h"

#include "store/MessageStore.h"

#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>

// The store of messages taken: a real SQLite database in a temporary
// folder, with its attachment copies beside it.
namespace {

const QDateTime kMorning(QDate(2026, 12, 11), QTime(9, 0), Qt::UTC);

StoredMessage Message(const QString &caller, int minutesAfter)
{
    StoredMessage m;
    m.takenAt = kMorning.addSecs(60 * minutesAfter);
    m.messageId = QStringLiteral("%1-%2@example.org").arg(caller).arg(minutesAfter).toUtf8();
    m.recipients = QStringLiteral("Alice Able <alice@example.org>");
    m.callerName = caller;
    m.callerCompany = QStringLiteral("Acme Pty Ltd");
    m.callerPhone = QStringLiteral("03 9555 0100");
    m.callerEmail = QStringLiteral("caller@clients.example");
    m.messageText = QStringLiteral("Please call back about the invoice.");
    m.delivery = "{\"to\":\"alice@example.org\"}";
    m.form = "{\"name\":\"" + caller.toUtf8() + "\"}";
    return m;
}

mode_t Mode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

QList<qint64> Ids(const QList<StoredMessage> &messages)
{
    QList<qint64> ids;
    for (const StoredMessage &m : messages)
        ids.append(m.id);
    return ids;
}

} // namespace

class TestMessageStore : public QObject {
    Q_OBJECT

private slots:
    // Kept whole, with a copy of the attachment as it was when taken, all
    // private to the user.
    void keepsTheMessageAndItsAttachment()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("data/Lumarc/quorvane/messages.sqlite"));
        const QString original = dir.filePath(QStringLiteral("Floor plan.pdf"));
        QVERIFY(WriteWholeFile(original, "%PDF-1.4 the plan"));

        std::int64_t id = 0;
        {
            MessageStore store;
            QVERIFY2(store.open(path), qPrintable(store.failure()));
            StoredMessage m = Message(QStringLiteral("Zoë Ñúñez"), 0);
            m.attachmentName = QStringLiteral("Floor plan.pdf");
            const auto added = store.add(m, original);
            QVERIFY2(added, qPrintable(store.failure()));
            id = *added;
        }
        // A later change or deletion of the original changes nothing.
        QVERIFY(WriteWholeFile(original, "changed"));
        QFile::remove(original);

        MessageStore store;
        QVERIFY(store.open(path));
        const std::optional<StoredMessage> m = store.message(id);
        QVERIFY(m);
        const StoredMessage expected = Message(QStringLiteral("Zoë Ñúñez"), 0);
        QCOMPARE(m->takenAt, expected.takenAt);
        QCOMPARE(m->messageId, expected.messageId);
        QCOMPARE(m->callerName, expected.callerName);
        QCOMPARE(m->recipients, expected.recipients);
        QCOMPARE(m->delivery, expected.delivery);
        QCOMPARE(m->form, expected.form);
        QCOMPARE(m->state, MessageState::Waiting);
        QCOMPARE(m->nextTry, expected.takenAt);
        QCOMPARE(m->attachmentName, QStringLiteral("Floor plan.pdf"));
        QCOMPARE(ReadWholeFile(m->attachmentPath), QByteArray("%PDF-1.4 the plan"));
        QVERIFY(!m->attachmentPath.startsWith(original));

        QCOMPARE(Mode(path), mode_t(0600));
        QCOMPARE(Mode(QFileInfo(path).absolutePath()), mode_t(0700));
        QCOMPARE(Mode(m->attachmentPath), mode_t(0600));
        QCOMPARE(Mode(QFileInfo(m->attachmentPath).absolutePath()), mode_t(0700));
        QVERIFY(store.integrityOk());
    }

    // Oldest first, one at a time; a retry waits its turn, a sent message
    // never goes back to waiting.
    void waitingMessagesGoOldestFirst()
    {
        QTemporaryDir dir;
        MessageStore store;
        QVERIFY(store.open(dir.filePath(QStringLiteral("messages.sqlite"))));
        const std::int64_t first = *store.add(Message(QStringLiteral("First"), 0), {});
        const std::int64_t second = *store.add(Message(QStringLiteral("Second"), 1), {});
        const std::int64_t third = *store.add(Message(QStringLiteral("Third"), 2), {});
        QCOMPARE(store.waitingCount(), 3);
        const QDateTime now = kMorning.addSecs(600);
        QCOMPARE(store.nextDue(now)->id, first);

        QVERIFY(store.markWaiting(first, QStringLiteral("Connection refused"), now.addSecs(30)));
        QCOMPARE(store.nextDue(now)->id, second);
        QVERIFY(store.markSent(second, now));
        QVERIFY(store.markNotSent(third, QStringLiteral("550 5.1.1 Recipient address rejected")));
        QVERIFY(!store.nextDue(now));
        QCOMPARE(store.nextDueAt(), now.addSecs(30));
        QCOMPARE(store.nextDue(now.addSecs(30))->id, first);
        QCOMPARE(store.waitingCount(), 1);

        const StoredMessage retried = *store.message(first);
        QCOMPARE(retried.attempts, 1);
        QCOMPARE(retried.lastFailure, QStringLiteral("Connection refused"));
        QCOMPARE(store.message(second)->state, MessageState::Sent);
        QCOMPARE(store.message(second)->sentAt, now);
        QCOMPARE(store.message(third)->state, MessageState::NotSent);

        // The network came back: every waiting one is due at once.
        QVERIFY(store.makeAllDue(now));
        QCOMPARE(store.nextDue(now)->id, first);
        // A sent message stays sent.
        QVERIFY(!store.markWaiting(second, QStringLiteral("late"), now));
        QVERIFY(!store.markNotSent(second, QStringLiteral("late")));
        QCOMPARE(store.message(second)->state, MessageState::Sent);
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("callers"); // newest first
        QTest::newRow("nothing: all, newest first") << "" << QStringList{"Bob Baker", "Zoë Ñúñez", "Jane Doe"};
        QTest::newRow("start of a name") << "ja" << QStringList{"Jane Doe"};
        QTest::newRow("case and accents") << "ZOE nunez" << QStringList{"Zoë Ñúñez"};
        QTest::newRow("company") << "globex" << QStringList{"Bob Baker"};
        QTest::newRow("phone") << "9555" << QStringList{"Zoë Ñúñez", "Jane Doe"};
        QTest::newRow("e-mail address") << "bob@globex" << QStringList{"Bob Baker"};
        QTest::newRow("recipient") << "carol" << QStringList{"Bob Baker"};
        QTest::newRow("message text") << "invoice" << QStringList{"Jane Doe"};
        QTest::newRow("every word must match") << "jane invoice" << QStringList{"Jane Doe"};
        QTest::newRow("no match") << "jane globex" << QStringList{};
        QTest::newRow("search syntax is just text") << "\"ja* -(" << QStringList{"Jane Doe"};
        QTest::newRow("an operator is a word") << "jane OR bob" << QStringList{};
        QTest::newRow("only punctuation") << "\"*()" << QStringList{"Bob Baker", "Zoë Ñúñez", "Jane Doe"};
    }

    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, callers);
        QTemporaryDir dir;
        MessageStore store;
        QVERIFY(store.open(dir.filePath(QStringLiteral("messages.sqlite"))));
        StoredMessage jane = Message(QStringLiteral("Jane Doe"), 0);
        jane.messageText = QStringLiteral("About the invoice of March.");
        StoredMessage zoe = Message(QStringLiteral("Zoë Ñúñez"), 5);
        zoe.messageText = QStringLiteral("Ring back after lunch.");
        StoredMessage bob = Message(QStringLiteral("Bob Baker"), 9);
        bob.callerCompany = QStringLiteral("Globex");
        bob.callerPhone = QStringLiteral("+61 2 8000 1234");
        bob.callerEmail = QStringLiteral("bob@globex.example");
        bob.recipients = QStringLiteral("Carol Chen <carol@example.org>");
        bob.messageText = QStringLiteral("Will visit on Friday.");
        for (const StoredMessage &m : {jane, zoe, bob})
            QVERIFY(store.add(m, {}));
        QStringList found;
        for (const StoredMessage &m : store.list(typed))
            found.append(m.callerName);
        QCOMPARE(found, callers);
    }

    // Sent messages are forgotten after the days kept, with their
    // attachments; waiting and not-sent ones never are.
    void pruningForgetsOnlySentMessages()
    {
        QTemporaryDir dir;
        const QString attachment = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteWholeFile(attachment, "a"));
        MessageStore store;
        QVERIFY(store.open(dir.filePath(QStringLiteral("messages.sqlite"))));
        const QDateTime now = kMorning.addDays(100);
        const std::int64_t oldSent = *store.add(Message(QStringLiteral("Old sent"), 0), attachment);
        const std::int64_t oldWaiting = *store.add(Message(QStringLiteral("Old waiting"), 1), {});
        const std::int64_t oldNotSent = *store.add(Message(QStringLiteral("Old not sent"), 2), {});
        StoredMessage recent = Message(QStringLiteral("Recent sent"), 0);
        recent.takenAt = now.addDays(-10);
        const std::int64_t recentSent = *store.add(recent, {});
        const QString copy = store.message(oldSent)->attachmentPath;
        QVERIFY(QFile::exists(copy));
        QVERIFY(store.markSent(oldSent, kMorning));
        QVERIFY(store.markSent(recentSent, now.addDays(-10)));
        QVERIFY(store.markNotSent(oldNotSent, QStringLiteral("refused")));

        QCOMPARE(store.pruneSent(now, 90), 1);
        QVERIFY(!store.message(oldSent));
        QVERIFY(!QFile::exists(copy));
        QVERIFY(!QFileInfo::exists(QFileInfo(copy).absolutePath()));
        QCOMPARE(Ids(store.list()), (QList<qint64>{recentSent, oldNotSent, oldWaiting}));

        // Kept for 0 days: no sent message is kept at all.
        QCOMPARE(store.pruneSent(now, 0), 1);
        QCOMPARE(Ids(store.list()), (QList<qint64>{oldNotSent, oldWaiting}));
        QVERIFY(store.remove(oldWaiting));
        QCOMPARE(Ids(store.list()), (QList<qint64>{oldNotSent}));
        QVERIFY(store.integrityOk());
    }

    // When the copy cannot be kept, nothing of the message is: never a
    // record without its attachment.
    void aMessageThatCannotBeKeptLeavesNothing()
    {
        QTemporaryDir dir;
        MessageStore store;
        QVERIFY(store.open(dir.filePath(QStringLiteral("messages.sqlite"))));
        // The attachments' folder cannot be made: a file stands in its place.
        QVERIFY(WriteWholeFile(dir.filePath(QStringLiteral("messages.attachments")), "in the way"));
        const QString attachment = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(WriteWholeFile(attachment, "a"));
        QVERIFY(!store.add(Message(QStringLiteral("Jane"), 0), attachment));
        QVERIFY2(store.failure().contains(QStringLiteral("could not be kept")), qPrintable(store.failure()));
        QVERIFY(store.list().isEmpty());
        // An attachment that is gone by now is not kept either.
        QVERIFY(!store.add(Message(QStringLiteral("Jane"), 0), dir.filePath(QStringLiteral("gone.txt"))));
        QVERIFY(store.list().isEmpty());
        // The same message taken twice is one message.
        QVERIFY(store.add(Message(QStringLiteral("Jane"), 0), {}));
        QVERIFY(!store.add(Message(QStringLiteral("Jane"), 0), {}));
        QCOMPARE(store.list().size(), 1);
    }

    // A store written by a newer program is refused rather than damaged;
    // one of this version opens again with everything in it.
    void schemaVersions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("messages.sqlite"));
        {
            MessageStore store;
            QVERIFY(store.open(path));
            QVERIFY(store.add(Message(QStringLiteral("Jane"), 0), {}));
        }
        {
            MessageStore store;
            QVERIFY(store.open(path));
            QCOMPARE(store.list().size(), 1);
        }
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        MessageStore store;
        QVERIFY(!store.open(path));
        QVERIFY2(store.failure().contains(QStringLiteral("newer")), qPrintable(store.failure()));
    }
};

QTEST_GUILESS_MAIN(TestMessageStore)
#include "test_messagestore.moc"
