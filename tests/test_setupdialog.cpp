#include "DialogTesting.h"
#include "SmtpTestServer.h"

#include "dialogs/CustomMessagesDialog.h"
#include "widgets/DialogTemplate.h"
#include "dialogs/SetupDialog.h"
#include "app/ProgramLibraries.h"
#include "app/SendMail.h"
#include "message/OutgoingMessage.h"
#include "store/AutoRun.h"
#include "store/InvertText.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QJsonObject>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <limits>

using namespace SetupControl;

namespace {

QLineEdit *Edit(const QDialog &dialog, int id)
{
    return ControlById<QLineEdit>(&dialog, id);
}

QCheckBox *Box(const QDialog &dialog, int id)
{
    return ControlById<QCheckBox>(&dialog, id);
}

template <std::size_t N>
QByteArray FieldBytes(const std::array<char, N> &field)
{
    return QByteArray(field.data(), N);
}

// A field image: text then zeros to the width.
QByteArray Padded(const QByteArray &text, int width)
{
    return text + QByteArray(width - text.size(), '\0');
}

QByteArray Inverted(const QByteArray &clear)
{
    QByteArray stored = clear;
    for (char &c : stored)
        c = static_cast<char>(~static_cast<unsigned char>(c));
    return stored;
}

void StorePassword(StoredData &state, const QString &clear)
{
    std::array<char, 128> scratch{};
    WriteTextField(scratch, clear);
    InvertText(scratch, state.settings.smtpPassword);
}

bool AllZero(const std::array<char, 128> &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

} // namespace

class TestSetupDialog : public QObject {
    Q_OBJECT
private slots:
    // Signed in to send through a mail service, host and port say they are
    // not needed, to the eye and to a screen reader.
    void hostAndPortSayWhenAMailServiceSends()
    {
        Profile profile;
        SetupDialog dialog(profile.data, nullptr);
        dialog.noteSendThrough(QStringLiteral("Microsoft 365 mail service"));
        for (const int id : {kServer, kPort}) {
            QCOMPARE(Edit(dialog, id)->placeholderText(),
                     QStringLiteral("Not needed: signed in, messages go through the Microsoft 365 mail service"));
            QCOMPARE(Edit(dialog, id)->accessibleDescription(), Edit(dialog, id)->placeholderText());
        }
        dialog.noteSendThrough(QString());
        QVERIFY(Edit(dialog, kServer)->placeholderText().isEmpty());
    }

    void everyCloseSaves_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close box";
    }

    void everyCloseSaves()
    {
        QFETCH(QString, how);
        Profile profile;
        StoredData &state = profile.data;
        SetupDialog dialog(state, nullptr);
        dialog.show();

        Edit(dialog, kServer)->setText(QStringLiteral("mail.example.net"));
        Edit(dialog, kSenderName)->setText(QStringLiteral("Front Desk"));
        Edit(dialog, kSenderAddress)->setText(QStringLiteral("desk@example.net"));
        Box(dialog, kBccToSender)->click();
        Box(dialog, kSendAsHtml)->click(); // HTML off
        Box(dialog, kUseAuthentication)->click();
        Edit(dialog, kUserName)->setText(QStringLiteral("desk"));
        Edit(dialog, kPassword)->setText(QStringLiteral("pa55 wörd"));
        Edit(dialog, kPort)->setText(QStringLiteral("587"));
        Edit(dialog, kServer)->setFocus();
        CloseDialogBy(dialog, how);

        QVERIFY(!dialog.isVisible());
        const SettingsRecord saved = profile.savedSettings();
        QCOMPARE(ReadTextField(saved.smtpServer), QStringLiteral("mail.example.net"));
        QCOMPARE(ReadTextField(saved.senderName), QStringLiteral("Front Desk"));
        QCOMPARE(ReadTextField(saved.senderAddress), QStringLiteral("desk@example.net"));
        QCOMPARE(ReadTextField(saved.smtpUserName), QStringLiteral("desk"));
        QCOMPARE(saved.bccToSender, 1);
        QCOMPARE(saved.sendAsHtml, 0);
        QCOMPARE(saved.useAuthentication, 1);
        QCOMPARE(saved.smtpPort, 587);
        QCOMPARE(FieldBytes(saved.smtpPassword), Padded(Inverted(QStringLiteral("pa55 wörd").toUtf8()), 128));
        QCOMPARE(state.activeSendAsHtml, 0);
        QCOMPARE(state.activeSmtpServer, QStringLiteral("mail.example.net"));
        QVERIFY(AllZero(dialog.passwordScratch()));
    }

    void portText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("port");
        const int max = std::numeric_limits<std::int32_t>::max();
        const int min = std::numeric_limits<std::int32_t>::min();
        QTest::newRow("leading blank") << " 587" << 587;
        QTest::newRow("tab and plus sign") << "\t+465" << 465;
        QTest::newRow("digits then letters") << "25abc" << 25;
        QTest::newRow("no digits") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("sign only") << "-" << 0;
        QTest::newRow("negative, no range check") << "-1" << -1;
        QTest::newRow("too many digits clamps up") << "99999999999" << max;
        QTest::newRow("too many digits clamps down") << "-99999999999" << min;
        QTest::newRow("largest 32-bit value") << "2147483647" << max;
        QTest::newRow("one past it") << "2147483648" << max;
    }

    void portText()
    {
        QFETCH(QString, typed);
        QFETCH(int, port);
        Profile profile;
        {
            SetupDialog dialog(profile.data, nullptr);
            dialog.show();
            Edit(dialog, kPort)->setText(typed);
            dialog.accept();
        }
        QCOMPARE(profile.savedSettings().smtpPort, port);

        SetupDialog reopened(profile.data, nullptr);
        QCOMPARE(Edit(reopened, kPort)->text(), QString::number(port));
    }

    void textsCutToTheirFields_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("200-character server") << kServer << QString(200, u's') << QByteArray(127, 's');
        QTest::newRow("127 characters kept whole") << kServer << QString(127, u's') << QByteArray(127, 's');
        // Cut on a character boundary, never through "é".
        QTest::newRow("two-byte character at the cut")
            << kSenderName << (QString(126, u'n') + QStringLiteral("é")) << QByteArray(126, 'n');
        QTest::newRow("200-character address") << kSenderAddress << QString(200, u'a') << QByteArray(127, 'a');
        QTest::newRow("200-character user name") << kUserName << QString(200, u'u') << QByteArray(127, 'u');
    }

    void textsCutToTheirFields()
    {
        QFETCH(int, id);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        Profile profile;
        SetupDialog dialog(profile.data, nullptr);
        dialog.show();
        Edit(dialog, id)->setText(typed);
        dialog.accept();

        const SettingsRecord saved = profile.savedSettings();
        const QByteArray field = id == kServer   ? FieldBytes(saved.smtpServer)
                                 : id == kSenderName ? FieldBytes(saved.senderName)
                                 : id == kSenderAddress ? FieldBytes(saved.senderAddress)
                                              : FieldBytes(saved.smtpUserName);
        QCOMPARE(field, Padded(stored, 128));
    }

    void longPasswordCutTo127Bytes()
    {
        Profile profile;
        SetupDialog dialog(profile.data, nullptr);
        dialog.show();
        Edit(dialog, kPassword)->setText(QString(200, u'p'));
        dialog.accept();
        QCOMPARE(FieldBytes(profile.savedSettings().smtpPassword), Padded(Inverted(QByteArray(127, 'p')), 128));
    }

    void authenticationBoxEnablesEditsAndKeepsTexts()
    {
        Profile profile;
        StoredData &state = profile.data;
        WriteTextField(state.settings.smtpUserName, QStringLiteral("jane"));
        StorePassword(state, QStringLiteral("secret"));
        SetupDialog dialog(state, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));

        QVERIFY(!Box(dialog, kUseAuthentication)->isChecked());
        QVERIFY(!Edit(dialog, kUserName)->isEnabled());
        QVERIFY(!Edit(dialog, kPassword)->isEnabled());
        QCOMPARE(Edit(dialog, kUserName)->text(), QStringLiteral("jane"));

        Box(dialog, kUseAuthentication)->click();
        QVERIFY(Edit(dialog, kUserName)->isEnabled());
        QVERIFY(Edit(dialog, kPassword)->isEnabled());
        QVERIFY(Edit(dialog, kUserName)->hasFocus());
        Edit(dialog, kUserName)->setText(QStringLiteral("jane.smith"));

        Box(dialog, kUseAuthentication)->click();
        QVERIFY(!Edit(dialog, kUserName)->isEnabled());
        QVERIFY(!Edit(dialog, kPassword)->isEnabled());
        QCOMPARE(Edit(dialog, kUserName)->text(), QStringLiteral("jane.smith"));
        QCOMPARE(Edit(dialog, kPassword)->text(), QStringLiteral("secret"));

        dialog.accept();
        const SettingsRecord saved = profile.savedSettings();
        QCOMPARE(saved.useAuthentication, 0);
        QCOMPARE(ReadTextField(saved.smtpUserName), QStringLiteral("jane.smith"));
        QCOMPARE(FieldBytes(saved.smtpPassword), Padded(Inverted("secret"), 128));
    }

    void flagsTickedOnlyWhenOne_data()
    {
        QTest::addColumn<int>("stored");
        QTest::newRow("0") << 0;
        QTest::newRow("1") << 1;
        QTest::newRow("2") << 2;
        QTest::newRow("-1") << -1;
    }

    void flagsTickedOnlyWhenOne()
    {
        QFETCH(int, stored);
        Profile profile;
        SettingsRecord &settings = profile.data.settings;
        settings.bccToSender = settings.sendAsHtml = settings.useAuthentication = stored;
        SetupDialog dialog(profile.data, nullptr);
        dialog.show();

        const bool on = stored == 1;
        QCOMPARE(Box(dialog, kBccToSender)->isChecked(), on);
        QCOMPARE(Box(dialog, kSendAsHtml)->isChecked(), on);
        QCOMPARE(Box(dialog, kUseAuthentication)->isChecked(), on);
        QCOMPARE(Edit(dialog, kUserName)->isEnabled(), on);

        // What goes back to the file is always exactly 1 or 0.
        dialog.accept();
        const SettingsRecord saved = profile.savedSettings();
        QCOMPARE(saved.bccToSender, on ? 1 : 0);
        QCOMPARE(saved.sendAsHtml, on ? 1 : 0);
        QCOMPARE(saved.useAuthentication, on ? 1 : 0);
    }

    void passwordClearOnlyWhileOpen()
    {
        Profile profile;
        StoredData &state = profile.data;
        StorePassword(state, QStringLiteral("s3cret!"));
        const QByteArray storedBefore = FieldBytes(state.settings.smtpPassword);
        {
            SetupDialog dialog(state, nullptr);
            dialog.show();
            QCOMPARE(Edit(dialog, kPassword)->echoMode(), QLineEdit::Password);
            QCOMPARE(Edit(dialog, kPassword)->text(), QStringLiteral("s3cret!"));
            QCOMPARE(ReadTextField(dialog.passwordScratch()), QStringLiteral("s3cret!"));
            CloseDialogBy(dialog, QStringLiteral("escape"));
            QVERIFY(AllZero(dialog.passwordScratch()));
        }
        // The buffer is the dialog's own, so the clear password goes with it
        // also when it is destroyed unclosed.
        QCOMPARE(FieldBytes(profile.savedSettings().smtpPassword), storedBefore);
    }

    void autoRunBoxWritesAndRemovesTheEntry()
    {
        Profile profile;
        StoredData &state = profile.data;
        const QString entry = AutoRunEntryPath(state.appDataFolder);
        QVERIFY(!QFile::exists(entry));

        auto closeSetupTicking = [&state](bool expectTicked, bool tick, const char *how) {
            SetupDialog dialog(state, nullptr);
            dialog.show();
            QCOMPARE(Box(dialog, kAutoRun)->isChecked(), expectTicked);
            Box(dialog, kAutoRun)->setChecked(tick);
            CloseDialogBy(dialog, QString::fromLatin1(how));
        };

        closeSetupTicking(false, true, "ok");
        QVERIFY(QFile::exists(entry));
        QVERIFY(ReadWholeFile(entry).contains("Exec=\"/opt/quorvane/bin/quorvane\""));

        closeSetupTicking(true, false, "escape");
        QVERIFY(!QFile::exists(entry));

        closeSetupTicking(false, true, "close box");
        QVERIFY(QFile::exists(entry));
        closeSetupTicking(true, true, "ok");
        QVERIFY(QFile::exists(entry));
    }

    void handMadeAutoRunEntryLeftAsItIs()
    {
        Profile profile;
        StoredData &state = profile.data;
        const QString entry = AutoRunEntryPath(state.appDataFolder);
        QVERIFY(MakePrivateFolder(QFileInfo(entry).absolutePath()));
        const QByteArray handMade = "[Desktop Entry]\nType=Application\nName=Quorvane (mine)\n"
                                    "Exec=/home/me/bin/quorvane-wrapper --quiet\n";
        QVERIFY(WriteWholeFile(entry, handMade));

        SetupDialog dialog(state, nullptr);
        dialog.show();
        QVERIFY(Box(dialog, kAutoRun)->isChecked());
        dialog.accept();
        QCOMPARE(ReadWholeFile(entry), handMade);
    }

    void customMessagesOpenedFromSetupSaveTwice()
    {
        Profile profile;
        StoredData &state = profile.data;
        SetupDialog setup(state, nullptr);
        QSignalSpy changed(&setup, &SetupDialog::customMessagesChanged);
        setup.show();
        Edit(setup, kServer)->setText(QStringLiteral("smtp.example.org"));

        // Each save writes the settings file anew: remove it before each close
        // to see that close write it back.
        QVERIFY(QFile::remove(state.settingsPath));
        bool nestedWasOpen = false;
        WhenOpen<CustomMessagesDialog>(&setup, [&](CustomMessagesDialog *custom) {
            nestedWasOpen = true;
            ControlById<QCheckBox>(custom, CustomMessagesControl::kMessage1Enabled)->click();
            ControlById<QLineEdit>(custom, CustomMessagesControl::kMessage1Text)->setText(QStringLiteral("Will FAX documents"));
            custom->accept();
        });
        QTest::mouseClick(ControlById<QPushButton>(&setup, kCustomMessages), Qt::LeftButton);
        QVERIFY(nestedWasOpen);
        QVERIFY(setup.isVisible());
        QCOMPARE(changed.count(), 1);
        QVERIFY(QFile::exists(state.settingsPath));
        SettingsRecord saved = profile.savedSettings();
        QCOMPARE(saved.customMessage1Enabled, 1);
        QCOMPARE(ReadTextField(saved.customMessage1), QStringLiteral("Will FAX documents"));

        QVERIFY(QFile::remove(state.settingsPath));
        setup.reject();
        QVERIFY(QFile::exists(state.settingsPath));
        saved = profile.savedSettings();
        QCOMPARE(ReadTextField(saved.smtpServer), QStringLiteral("smtp.example.org"));
        QCOMPARE(ReadTextField(saved.customMessage1), QStringLiteral("Will FAX documents"));
    }

    // Enter presses the button that has the keyboard; in an edit it is OK.
    void enterPressesTheFocusedButton()
    {
        Profile profile;
        SetupDialog setup(profile.data, nullptr);
        setup.show();
        setup.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&setup));
        bool customOpened = false;
        WhenOpen<CustomMessagesDialog>(&setup, [&](CustomMessagesDialog *custom) {
            customOpened = true;
            custom->accept();
        });
        auto *button = ControlById<QPushButton>(&setup, 1060);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        QVERIFY(customOpened);
        QVERIFY(setup.isVisible());

        Edit(setup, kServer)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(Edit(setup, kServer), Qt::Key_Return);
        QVERIFY(!setup.isVisible());
    }

    // "Sign in..." asks whoever opened Setup for the sign-in, with the
    // Username as typed; the provider's server then fills the host and port
    // only when no host is typed yet.
    void signInButtonAsksForTheSignIn_data()
    {
        QTest::addColumn<QString>("typedHost");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::newRow("no host yet") << "" << "smtp.office365.com" << "587";
        QTest::newRow("only blanks") << "   " << "smtp.office365.com" << "587";
        QTest::newRow("a host of the user's own") << "mail.example.org" << "mail.example.org" << "25";
    }

    void signInButtonAsksForTheSignIn()
    {
        QFETCH(QString, typedHost);
        QFETCH(QString, host);
        QFETCH(QString, port);
        Profile profile;
        SetupDialog setup(profile.data, nullptr);
        QSignalSpy asked(&setup, &SetupDialog::signInRequested);
        Edit(setup, kServer)->setText(typedHost);
        Edit(setup, kUserName)->setText(QStringLiteral("desk@example.org"));
        ControlById<QPushButton>(&setup, kSignIn)->click();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(setup.userName(), QStringLiteral("desk@example.org"));
        setup.offerServer(QStringLiteral("smtp.office365.com"), 587);
        QCOMPARE(Edit(setup, kServer)->text(), host);
        QCOMPARE(Edit(setup, kPort)->text(), port);
        // A provider without one server of its own offers none.
        setup.offerServer(QString(), 0);
        QCOMPARE(Edit(setup, kServer)->text(), host);
    }

    // A password saved by an older 8-bit install (Windows-1252, "ä" as the
    // one byte E4) must reach the server as the same bytes whether or not
    // Setup has been opened and closed since: opening Setup must not change
    // what logs in.
    void legacyPasswordSendsTheSameBytesBeforeAndAfterSetup()
    {
        const QString password = QStringLiteral("p\u00e4sswort");
        SmtpTestServer server;
        QVERIFY2(server.start({"--user", "desk", "--password", password}), qPrintable(server.error()));
        Profile profile;
        StoredData &state = profile.data;
        state.activeSmtpServer = QStringLiteral("127.0.0.1");
        state.settings.smtpPort = server.port();
        state.settings.useAuthentication = 1;
        state.settings.sendAsHtml = 0;
        state.activeSendAsHtml = 0;
        WriteTextField(state.settings.smtpUserName, QStringLiteral("desk"));
        WriteTextField(state.settings.senderAddress, QStringLiteral("desk@example.org"));
        WriteTextField(state.settings.smtpServer, QStringLiteral("127.0.0.1"));
        const QByteArray legacy = Inverted(QByteArray("p\xe4sswort"));
        state.settings.smtpPassword.fill(0);
        std::copy(legacy.begin(), legacy.end(), state.settings.smtpPassword.begin());

        OutgoingMessage message;
        message.toList = QStringLiteral("ann@example.org");
        message.subject = QStringLiteral("Message From: Carol");
        message.textBody = QStringLiteral("Hello");
        auto send = [&state, &message] {
            return SendMailWithReason(MakeDeliveryJob(state, message),
                                      LibraryFolder(QCoreApplication::applicationDirPath()));
        };
        const SendMailOutcome before = send();
        {
            SetupDialog setup(state, nullptr);
            setup.show();
            setup.accept();
        }
        const SendMailOutcome after = send();

        const QList<QJsonObject> attempts = server.events(QStringLiteral("auth"));
        QVERIFY2(attempts.size() == 2, qPrintable(before.failure + QStringLiteral(" / ") + after.failure));
        QCOMPARE(attempts[1].value("password_hex").toString(), attempts[0].value("password_hex").toString());
        QCOMPARE(attempts[0].value("password").toString(), password);
        QVERIFY2(before.result == 0, qPrintable(before.failure));
        QVERIFY2(after.result == 0, qPrintable(after.failure));
    }

    void discardedWhenTheProgramExitsUnderIt()
    {
        // Exit discards an open dialog as it stands: nothing is saved at exit,
        // and the clear password does not outlive it.
        Profile profile;
        SaveDataFiles(profile.data);
        const QByteArray before = ReadWholeFile(profile.data.settingsPath);
        auto *dialog = new SetupDialog(profile.data, nullptr);
        dialog->show();
        Edit(*dialog, kServer)->setText(QStringLiteral("relay.example.org"));
        delete dialog;
        QCOMPARE(ReadWholeFile(profile.data.settingsPath), before);
    }
};

QTEST_MAIN(TestSetupDialog)
#include "test_setupdialog.moc"
