#include "DialogTesting.h"

#include "dialogs/CustomMessagesDialog.h"
#include "dialogs/RecipientsEditor.h"
#include "dialogs/SetupDialog.h"
#include "form/MessageForm.h"
#include "form/MessageFormTemplate.h"
#include "signin/SignInDialog.h"
#include "widgets/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// An underlined letter held with Alt belongs to the window's controls, never
// to the text: a letter whose control is disabled, or that no control has,
// does nothing, so no stray letter goes out in a message or a setting.

namespace {

QString TextOf(QWidget *field)
{
    if (auto *line = qobject_cast<QLineEdit *>(field))
        return line->text();
    if (auto *text = qobject_cast<QPlainTextEdit *>(field))
        return text->toPlainText();
    return QStringLiteral("<not a text field>");
}

std::unique_ptr<QDialog> MakeWindow(const QString &which, Profile &p)
{
    if (which == QLatin1String("form"))
        return std::make_unique<MessageForm>(p.data);
    if (which == QLatin1String("setup"))
        return std::make_unique<SetupDialog>(p.data, nullptr);
    if (which == QLatin1String("custom messages")) {
        auto dialog = std::make_unique<CustomMessagesDialog>(p.data, nullptr);
        ControlById<QCheckBox>(dialog.get(), CustomMessagesControl::kMessage1Enabled)->click();
        return dialog;
    }
    if (which == QLatin1String("recipients"))
        return std::make_unique<RecipientsEditor>(p.data, nullptr);
    if (which == QLatin1String("sign-in")) {
        SignInDialogInputs inputs;
        inputs.account = QStringLiteral("maria@example.org");
        inputs.dataFolder = p.folder();
        auto dialog = std::make_unique<SignInDialog>(inputs, nullptr);
        // Google has no tenant: its box, which Alt+T would reach, is off.
        ControlById<QComboBox>(dialog.get(), SignInDialog::kProvider)->setCurrentIndex(1);
        return dialog;
    }
    return nullptr;
}

bool ShowActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class MnemonicsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The sign-in dialog looks in the keyring: never the one of whoever runs the tests.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvane-test-bus");
    }

    void altLetterOfNothingEnabledTypesNothing_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("field");
        // The control whose letter is pressed, switched off by the test
        // where the window does not switch it off itself; kNoId: none.
        QTest::addColumn<int>("disable");
        QTest::addColumn<char>("letter");

        using namespace FormControl;
        // With no recipient ticked, Send is off.
        QTest::newRow("form, Send off, caller's name") << "form" << CallerName << kNoId << 'S';
        QTest::newRow("form, Send off, message text") << "form" << MessageText << kNoId << 'S';
        QTest::newRow("form, a letter no control has") << "form" << CallerName << kNoId << 'Q';
        QTest::newRow("setup, Sign in off") << "setup" << SetupControl::kServer << SetupControl::kSignIn << 'I';
        QTest::newRow("setup, a letter no control has") << "setup" << SetupControl::kServer << kNoId << 'Z';
        QTest::newRow("custom messages, OK off")
            << "custom messages" << CustomMessagesControl::kMessage1Text << kOkButton << 'O';
        QTest::newRow("recipients, OK off") << "recipients" << RecipientsEditor::NameEditId(0) << kOkButton << 'O';
        QTest::newRow("sign-in, tenant off for Google")
            << "sign-in" << int(SignInDialog::kClientId) << kNoId << 'T';
    }

    void altLetterOfNothingEnabledTypesNothing()
    {
        QFETCH(QString, window);
        QFETCH(int, field);
        QFETCH(int, disable);
        QFETCH(char, letter);

        Profile p(Profile::Unsaved);
        std::unique_ptr<QDialog> dialog = MakeWindow(window, p);
        QVERIFY(dialog);
        if (disable != kNoId)
            ControlById<QWidget>(dialog.get(), disable)->setEnabled(false);
        QSignalSpy ended(dialog.get(), &QDialog::finished);
        QVERIFY(ShowActive(*dialog));
        QWidget *edit = ControlById<QWidget>(dialog.get(), field);
        QVERIFY(edit && edit->isEnabled());
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, QStringLiteral("Maria Lopez"));
        QCOMPARE(TextOf(edit), QStringLiteral("Maria Lopez"));

        // As a keyboard reports them: the key's own letter comes with it.
        QTest::keyClick(edit, char(QChar::fromLatin1(letter).toLower().toLatin1()), Qt::AltModifier);
        QTest::keyClick(edit, letter, Qt::AltModifier | Qt::ShiftModifier);

        QCOMPARE(TextOf(edit), QStringLiteral("Maria Lopez"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(ended.size(), 0);
        QCOMPARE(QApplication::focusWidget(), edit);
    }

    // What the letters are for still works beside it: an enabled control's
    // letter, and Alt with Ctrl (AltGr on some keyboards) typing a character.
    void enabledLettersAndAltGrStillWork()
    {
        Profile p(Profile::Unsaved);
        SetupDialog setup(p.data, nullptr);
        QVERIFY(ShowActive(setup));
        auto *host = ControlById<QLineEdit>(&setup, SetupControl::kServer);
        host->setFocus(Qt::TabFocusReason);
        QTest::keyClick(host, 'c', Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), ControlById<QWidget>(&setup, SetupControl::kUseAuthentication));
        host->setFocus(Qt::TabFocusReason);
        QTest::keyClick(host, '@', Qt::AltModifier | Qt::ControlModifier);
        QCOMPARE(host->text(), QStringLiteral("@"));
    }
};

QTEST_MAIN(MnemonicsTest)
#include "test_mnemonics.moc"
