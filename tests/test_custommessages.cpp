#include "DialogTesting.h"

#include "dialogs/CustomMessagesDialog.h"
#include "widgets/DialogTemplate.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QtTest>

using namespace CustomMessagesControl;

namespace {

QLineEdit *Edit(const QDialog &dialog, int id)
{
    return ControlById<QLineEdit>(&dialog, id);
}

QCheckBox *Box(const QDialog &dialog, int id)
{
    return ControlById<QCheckBox>(&dialog, id);
}

} // namespace

class TestCustomMessages : public QObject {
    Q_OBJECT
private slots:
    void everyCloseSavesThenTellsTheForm_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close box";
    }

    void everyCloseSavesThenTellsTheForm()
    {
        QFETCH(QString, how);
        Profile profile;
        CustomMessagesDialog dialog(profile.data, nullptr);
        // The form re-reads the settings when told: by then they must be on
        // disk and in the record.
        int told = 0;
        SettingsRecord savedWhenTold;
        connect(&dialog, &CustomMessagesDialog::customMessagesChanged, this, [&] {
            ++told;
            savedWhenTold = profile.savedSettings();
        });
        dialog.show();

        Box(dialog, kMessage1Enabled)->click();
        Edit(dialog, kMessage1Text)->setText(QStringLiteral("Will FAX documents"));
        Box(dialog, kMessage2Enabled)->click();
        Edit(dialog, kMessage2Text)->setText(QStringLiteral("Have booked a meeting for you in conference room"));
        CloseDialogBy(dialog, how);

        QVERIFY(!dialog.isVisible());
        QCOMPARE(told, 1);
        QCOMPARE(savedWhenTold.customMessage1Enabled, 1);
        QCOMPARE(ReadTextField(savedWhenTold.customMessage1), QStringLiteral("Will FAX documents"));
        QCOMPARE(savedWhenTold.customMessage2Enabled, 1);
        QCOMPARE(ReadTextField(savedWhenTold.customMessage2),
                 QStringLiteral("Have booked a meeting for you in conference room"));
        QCOMPARE(ReadTextField(profile.data.settings.customMessage1), QStringLiteral("Will FAX documents"));
    }

    void opensFromStoredFlags_data()
    {
        QTest::addColumn<int>("stored");
        QTest::newRow("on") << 1;
        QTest::newRow("off") << 0;
        QTest::newRow("neither 0 nor 1") << 2;
    }

    void opensFromStoredFlags()
    {
        QFETCH(int, stored);
        Profile profile;
        SettingsRecord &settings = profile.data.settings;
        settings.customMessage1Enabled = settings.customMessage2Enabled = stored;
        WriteTextField(settings.customMessage1, QStringLiteral("Short one"));
        WriteTextField(settings.customMessage2, QStringLiteral("Longer one"));
        CustomMessagesDialog dialog(profile.data, nullptr);

        const bool on = stored == 1;
        QCOMPARE(Box(dialog, kMessage1Enabled)->isChecked(), on);
        QCOMPARE(Edit(dialog, kMessage1Text)->isEnabled(), on);
        QCOMPARE(Box(dialog, kMessage2Enabled)->isChecked(), on);
        QCOMPARE(Edit(dialog, kMessage2Text)->isEnabled(), on);
        // Switched off or not, the saved text is there to come back to.
        QCOMPARE(Edit(dialog, kMessage1Text)->text(), QStringLiteral("Short one"));
        QCOMPARE(Edit(dialog, kMessage2Text)->text(), QStringLiteral("Longer one"));
    }

    void boxesEnableAndFocusTheirEdits()
    {
        Profile profile;
        CustomMessagesDialog dialog(profile.data, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        const std::pair<int, int> phrases[] = {{kMessage1Enabled, kMessage1Text}, {kMessage2Enabled, kMessage2Text}};
        for (auto [box, edit] : phrases) {
            Box(dialog, box)->click();
            QVERIFY(Edit(dialog, edit)->isEnabled());
            QVERIFY(Edit(dialog, edit)->hasFocus());
            Box(dialog, box)->click();
            QVERIFY(!Edit(dialog, edit)->isEnabled());
        }
    }

    void untickedPhraseKeepsItsPreviousText()
    {
        Profile profile;
        WriteTextField(profile.data.settings.customMessage1, QStringLiteral("Will FAX documents"));
        {
            CustomMessagesDialog dialog(profile.data, nullptr);
            dialog.show();
            Box(dialog, kMessage1Enabled)->click();
            Edit(dialog, kMessage1Text)->setText(QStringLiteral("Typed, then thought better of"));
            Box(dialog, kMessage1Enabled)->click();
            dialog.accept();
        }
        const SettingsRecord saved = profile.savedSettings();
        QCOMPARE(saved.customMessage1Enabled, 0);
        QCOMPARE(ReadTextField(saved.customMessage1), QStringLiteral("Will FAX documents"));

        CustomMessagesDialog reopened(profile.data, nullptr);
        QCOMPARE(Edit(reopened, kMessage1Text)->text(), QStringLiteral("Will FAX documents"));
    }

    void phrasesCutToTheirLimits_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<int>("edit");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("40 characters in the short phrase") << kMessage1Enabled << kMessage1Text << QString(40, u'a') << QByteArray(30, 'a');
        QTest::newRow("30 characters kept whole") << kMessage1Enabled << kMessage1Text << QString(30, u'a') << QByteArray(30, 'a');
        QTest::newRow("two-byte character across byte 30")
            << kMessage1Enabled << kMessage1Text << (QString(29, u'a') + QStringLiteral("é")) << QByteArray(29, 'a');
        QTest::newRow("70 characters in the long phrase") << kMessage2Enabled << kMessage2Text << QString(70, u'b') << QByteArray(62, 'b');
        QTest::newRow("three-byte character across byte 62")
            << kMessage2Enabled << kMessage2Text << (QString(60, u'b') + QStringLiteral("€")) << QByteArray(60, 'b');
        QTest::newRow("empty phrase stored as empty") << kMessage2Enabled << kMessage2Text << QString() << QByteArray();
    }

    void phrasesCutToTheirLimits()
    {
        QFETCH(int, box);
        QFETCH(int, edit);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        Profile profile;
        WriteTextField(profile.data.settings.customMessage1, QString(31, u'z'));
        WriteTextField(profile.data.settings.customMessage2, QString(63, u'z'));
        CustomMessagesDialog dialog(profile.data, nullptr);
        dialog.show();
        Box(dialog, box)->click();
        Edit(dialog, edit)->setText(typed);
        dialog.accept();

        const SettingsRecord saved = profile.savedSettings();
        const QByteArray field = box == kMessage1Enabled ? QByteArray(saved.customMessage1.data(), 32)
                                             : QByteArray(saved.customMessage2.data(), 64);
        // Zeros after the text: no tail of the longer old phrase is left.
        QCOMPARE(field, stored + QByteArray(field.size() - stored.size(), '\0'));
        QCOMPARE(box == kMessage1Enabled ? saved.customMessage1Enabled : saved.customMessage2Enabled, 1);
    }

    void discardedWhenTheProgramExitsUnderIt()
    {
        // Exit discards an open dialog as it stands: nothing is saved at exit.
        Profile profile;
        SaveDataFiles(profile.data);
        const QByteArray before = ReadWholeFile(profile.data.settingsPath);
        auto *dialog = new CustomMessagesDialog(profile.data, nullptr);
        dialog->show();
        Box(*dialog, kMessage2Enabled)->click();
        Edit(*dialog, kMessage2Text)->setText(QStringLiteral("Left a parcel at reception"));
        delete dialog;
        QCOMPARE(ReadWholeFile(profile.data.settingsPath), before);
    }
};

QTEST_MAIN(TestCustomMessages)
#include "test_custommessages.moc"
