#include "DialogTesting.h"

#include "widgets/DialogTemplate.h"
#include "dialogs/RecipientsEditor.h"
#include "store/TextField.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Entry i's edits, as the editor's template numbers them: names 2000-2019 on
// the left and 2040-2059 on the right, each address 20 ids above its name.
int NameId(int entry)
{
    return entry < 20 ? 2000 + entry : 2020 + entry;
}

QLineEdit *NameEdit(const QDialog &dialog, int entry)
{
    return ControlById<QLineEdit>(&dialog, NameId(entry));
}

QLineEdit *AddressEdit(const QDialog &dialog, int entry)
{
    return ControlById<QLineEdit>(&dialog, NameId(entry) + 20);
}

// A full table, every entry different.
void FillRecipients(StoredData &state)
{
    for (int i = 0; i < kRecipientCount; ++i) {
        WriteTextField(state.recipients.entries[i].name, QStringLiteral("Person %1").arg(i));
        WriteTextField(state.recipients.entries[i].address, QStringLiteral("person%1@example.org").arg(i));
    }
    SaveDataFiles(state);
}

QByteArray EntryBytes(const RecipientEntry &entry)
{
    return QByteArray(entry.name.data(), 48) + QByteArray(entry.address.data(), 128);
}

} // namespace

class TestRecipientsEditor : public QObject {
    Q_OBJECT
private slots:
    void showsEveryEntryInItsRow()
    {
        Profile profile;
        FillRecipients(profile.data);
        RecipientsEditor editor(profile.data, nullptr);
        for (int i = 0; i < kRecipientCount; ++i) {
            QCOMPARE(NameEdit(editor, i)->text(), QStringLiteral("Person %1").arg(i));
            QCOMPARE(AddressEdit(editor, i)->text(), QStringLiteral("person%1@example.org").arg(i));
        }
    }

    void escapeAndCloseBoxDoNothing()
    {
        Profile profile;
        FillRecipients(profile.data);
        const QByteArray fileBefore = ReadWholeFile(profile.data.recipientsPath);
        RecipientsEditor editor(profile.data, nullptr);
        QSignalSpy changed(&editor, &RecipientsEditor::recipientsChanged);
        editor.show();
        NameEdit(editor, 3)->setFocus();
        NameEdit(editor, 3)->setText(QStringLiteral("Somebody else"));

        CloseDialogBy(editor, QStringLiteral("escape"));
        QVERIFY(editor.isVisible());
        CloseDialogBy(editor, QStringLiteral("close box"));
        QVERIFY(editor.isVisible());
        editor.reject();
        QVERIFY(editor.isVisible());

        QCOMPARE(changed.count(), 0);
        QCOMPARE(ReadTextField(profile.data.recipients.entries[3].name), QStringLiteral("Person 3"));
        QCOMPARE(ReadWholeFile(profile.data.recipientsPath), fileBefore);
        // What was typed is still there to be kept with OK.
        QCOMPARE(NameEdit(editor, 3)->text(), QStringLiteral("Somebody else"));
    }

    void okStoresEveryRowInPlace_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
    }

    void okStoresEveryRowInPlace()
    {
        QFETCH(QString, how);
        Profile profile;
        FillRecipients(profile.data);
        const RecipientTable before = profile.data.recipients;
        RecipientsEditor editor(profile.data, nullptr);
        // The form relabels its boxes when told: the table must be saved by then.
        int told = 0;
        RecipientTable savedWhenTold;
        connect(&editor, &RecipientsEditor::recipientsChanged, this, [&] {
            ++told;
            savedWhenTold = profile.savedRecipients();
        });
        editor.show();

        NameEdit(editor, 5)->clear();
        AddressEdit(editor, 5)->clear();
        NameEdit(editor, 7)->clear(); // an address with no name
        NameEdit(editor, 20)->setText(QStringLiteral("  Spaces kept  "));
        AddressEdit(editor, 39)->setText(QStringLiteral("not an address"));
        AddressEdit(editor, 39)->setFocus();
        CloseDialogBy(editor, how);

        QVERIFY(!editor.isVisible());
        QCOMPARE(told, 1);
        const RecipientTable &saved = savedWhenTold;
        QCOMPARE(EntryBytes(saved.entries[5]), QByteArray(176, '\0'));
        QCOMPARE(ReadTextField(saved.entries[7].name), QString());
        QCOMPARE(ReadTextField(saved.entries[7].address), QStringLiteral("person7@example.org"));
        QCOMPARE(ReadTextField(saved.entries[20].name), QStringLiteral("  Spaces kept  "));
        QCOMPARE(ReadTextField(saved.entries[39].address), QStringLiteral("not an address"));
        for (int i : {0, 1, 2, 3, 4, 6, 8, 19, 21, 38}) {
            QCOMPARE(EntryBytes(saved.entries[i]), EntryBytes(before.entries[i]));
        }
        QCOMPARE(EntryBytes(profile.data.recipients.entries[5]), QByteArray(176, '\0'));
    }

    void textsCutToTheirFields_data()
    {
        QTest::addColumn<bool>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("60-character name") << true << QString(60, u'n') << QByteArray(47, 'n');
        QTest::newRow("47-character name kept whole") << true << QString(47, u'n') << QByteArray(47, 'n');
        QTest::newRow("two-byte character across byte 47")
            << true << (QString(46, u'n') + QStringLiteral("ø")) << QByteArray(46, 'n');
        QTest::newRow("200-character address") << false << QString(200, u'a') << QByteArray(127, 'a');
    }

    void textsCutToTheirFields()
    {
        QFETCH(bool, name);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        Profile profile;
        RecipientsEditor editor(profile.data, nullptr);
        editor.show();
        const int entry = 33;
        (name ? NameEdit(editor, entry) : AddressEdit(editor, entry))->setText(typed);
        editor.accept();

        const RecipientEntry saved = profile.savedRecipients().entries[entry];
        const QByteArray field = name ? QByteArray(saved.name.data(), 48) : QByteArray(saved.address.data(), 128);
        QCOMPARE(field, stored + QByteArray(field.size() - stored.size(), '\0'));
    }
};

QTEST_MAIN(TestRecipientsEditor)
#include "test_recipientseditor.moc"
