#include "TestSupport.h"

#include "dialogs/SetupDialog.h"
#include "widgets/PathLabel.h"
#include "form/MessageForm.h"
#include "form/MessageFormTemplate.h"
#include "message/OutgoingMessage.h"
#include "widgets/WrapCheckBox.h"
#include "store/DataFiles.h"
#include "store/RecordBytes.h"
#include "store/SafeFile.h"
#include "store/TextField.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace FormControl;

namespace {

constexpr std::array kStandardPhrases = {
    PhraseBox::NotUrgent,       PhraseBox::VisitedToSeeYou, PhraseBox::WillVisitAnotherTime,
    PhraseBox::LeftItems,       PhraseBox::PleaseContactViaEmail, PhraseBox::Telephoned,
    PhraseBox::PleaseCallBack,  PhraseBox::ReturnedYourCall, PhraseBox::WillCallBackLater,
    PhraseBox::WillSendYouAnEmail,
};

// The shared profile with a few recipients, in text mode, in memory as
// start-up leaves it; nothing saved yet.
struct FormProfile : Profile {
    FormProfile() : Profile(Unsaved)
    {
        data.activeSendAsHtml = 0;
        setRecipient(0, "Ann Archer", "ann@example.org");
        setRecipient(1, "Bob Baker", "bob@example.org");
        setRecipient(2, "R&D team", "rd@example.org");
        setRecipient(39, "Zoe Last", "zoe@example.org");
    }
    SettingsRecord saved() const { return savedSettings(); }
};

template <class T = QCheckBox>
T *Control(const QWidget &form, int id)
{
    T *widget = ControlById<T>(&form, id);
    if (!widget)
        qFatal("no control %d", id);
    return widget;
}

QCheckBox *Recipient(const QWidget &form, int i)
{
    return Control(form, FirstRecipient + i);
}

bool SendEnabled(const QWidget &form)
{
    return Control<QPushButton>(form, Send)->isEnabled();
}

QList<int> TickedRecipients(const QWidget &form)
{
    QList<int> ticked;
    for (int i = 0; i < kRecipientCount; ++i) {
        if (Recipient(form, i)->isChecked())
            ticked << i;
    }
    return ticked;
}

QList<int> TickedPhrases(const QWidget &form)
{
    QList<int> ticked;
    for (int id : kStandardPhrases)
        if (Control(form, id)->isChecked())
            ticked << id;
    for (int id : {PhraseBox::Urgent, PhraseBox::Custom1, PhraseBox::Custom2})
        if (Control(form, id)->isChecked())
            ticked << id;
    return ticked;
}

// Shows the form and waits until it has the keyboard, as after a tray click.
bool ShowActive(MessageForm &form)
{
    form.show();
    form.activateWindow();
    return QTest::qWaitForWindowActive(&form);
}

// Answers the next file dialog: picks path, or cancels when path is empty.
// Returns a flag that tells whether a dialog was seen and answered.
std::shared_ptr<bool> AnswerFileDialog(const QString &path)
{
    auto seen = std::make_shared<bool>(false);
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path, seen] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        if (path.isEmpty()) {
            dialog->reject();
            *seen = true;
            return;
        }
        // As a user types the path into the file name box and presses Open.
        if (auto *typed = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
            typed->setText(path);
            static_cast<QDialog *>(dialog)->accept();
            *seen = !dialog->isVisible();
        }
        if (dialog->isVisible())
            dialog->reject(); // fail the test rather than hang it
    });
    timer->start();
    return seen;
}

// A form with a message on it: recipients 0 and 2, caller fields, two lines
// of text, phrases, CC and an attached file.
void FillMessage(MessageForm &form, const QString &attachment)
{
    Recipient(form, 0)->click();
    Recipient(form, 2)->click();
    Control<QLineEdit>(form, CallerName)->setText(QStringLiteral("Jane Caller"));
    Control<QLineEdit>(form, CallerCompany)->setText(QStringLiteral("Acme"));
    Control<QLineEdit>(form, CallerPhone)->setText(QStringLiteral("555 0100"));
    Control<QLineEdit>(form, CallerEmail)->setText(QStringLiteral("jane@acme.example"));
    Control<QPlainTextEdit>(form, MessageText)->setPlainText(QStringLiteral("Line one\nline two"));
    Control(form, PhraseBox::Telephoned)->click();
    Control(form, PhraseBox::Urgent)->click();
    Control(form, PhraseBox::Custom1)->click();
    Control(form, CcCaller)->click();
    const auto seen = AnswerFileDialog(attachment);
    Control<QPushButton>(form, Attach)->click();
    QVERIFY(*seen);
}

} // namespace

class TestMessageForm : public QObject {
    Q_OBJECT
private slots:
    void openingShowsStoredOptionsAndNothingElse_data()
    {
        QTest::addColumn<int>("stored");
        QTest::newRow("options off") << 0;
        QTest::newRow("options on") << 1;
    }

    void openingShowsStoredOptionsAndNothingElse()
    {
        QFETCH(int, stored);
        FormProfile p;
        p.data.settings.keepOnTop = stored;
        p.data.settings.autoCloseAfterSend = stored;
        p.data.settings.customMessage1Enabled = stored;
        p.data.settings.customMessage2Enabled = stored;
        WriteTextField(p.data.settings.customMessage1, QStringLiteral("Fish & chips"), kCustomMessage1MaxBytes);
        WriteTextField(p.data.settings.customMessage2, QStringLiteral("Collect the parcel"), kCustomMessage2MaxBytes);
        // Left over from the last form: neither a copy to the caller nor an
        // attachment carries into a new form.
        p.data.settings.ccCaller = 1;

        MessageForm form(p.data);
        QVERIFY(ShowActive(form));

        QCOMPARE(QApplication::focusWidget(), Control<QLineEdit>(form, CallerName));
        QVERIFY(!SendEnabled(form));
        QVERIFY(!Control(form, CcCaller)->isChecked());
        QCOMPARE(p.data.settings.ccCaller, 0);
        QCOMPARE(Control(form, KeepOnTop)->isChecked(), stored == 1);
        QCOMPARE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint), stored == 1);
        QCOMPARE(Control(form, AutoClose)->isChecked(), stored == 1);
        QCOMPARE(Control(form, PhraseBox::Custom1)->isVisible(), stored == 1);
        QCOMPARE(Control(form, PhraseBox::Custom2)->isVisible(), stored == 1);
        if (stored) {
            QCOMPARE(Control(form, PhraseBox::Custom1)->text(), QStringLiteral("Fish && chips"));
            QCOMPARE(Control(form, PhraseBox::Custom2)->text(), QStringLiteral("Collect the parcel"));
        }
        QVERIFY(TickedRecipients(form).isEmpty());
        QVERIFY(TickedPhrases(form).isEmpty());
        QVERIFY(!form.snapshot().hasAttachment);
        QVERIFY(!Control<QLabel>(form, AttachmentIndicator)->isVisible());
        QCOMPARE(Control<QPushButton>(form, Attach)->text(), QStringLiteral("A&ttach file..."));

        // The clock shows at once, and what it shows is what a message prints.
        QVERIFY(!form.clock().date.isEmpty());
        QCOMPARE(Control<QLabel>(form, Date)->text(), form.clock().date);
        QCOMPARE(Control<QLabel>(form, Time)->text(), form.clock().time);
        QVERIFY(QRegularExpression(QStringLiteral("^([0-9]|1[0-9]|2[0-3]):[0-5][0-9]$"))
                    .match(form.clock().time).hasMatch());
        QCOMPARE(form.clock().timeLine, QStringLiteral("Time: ") + form.clock().time + QStringLiteral("\r\n"));

        // Recipient boxes carry the stored names as typed.
        QCOMPARE(Recipient(form, 0)->text(), QStringLiteral("Ann Archer"));
        QCOMPARE(Recipient(form, 2)->text(), QStringLiteral("R&&D team"));
        QCOMPARE(Recipient(form, 3)->text(), QString());
        QCOMPARE(Recipient(form, 39)->text(), QStringLiteral("Zoe Last"));

        // The narrow auto close box wraps its text inside itself.
        auto *autoClose = Control<WrapCheckBox>(form, AutoClose);
        QCOMPARE(autoClose->text(), QStringLiteral("Auto close a&fter send"));
        const QRect room = autoClose->textRect();
        const QRect needed = autoClose->fontMetrics().boundingRect(room, WrapCheckBox::kTextFlags, autoClose->text());
        QVERIFY2(room.contains(needed), qPrintable(QStringLiteral("needs %1x%2 in %3x%4")
                                                        .arg(needed.width()).arg(needed.height())
                                                        .arg(room.width()).arg(room.height())));
    }

    void sendIsEnabledOnlyWhileARecipientIsTicked()
    {
        FormProfile p;
        MessageForm form(p.data);
        Recipient(form, 5)->click();
        QVERIFY(SendEnabled(form));
        Recipient(form, 39)->click();
        Recipient(form, 5)->click();
        QVERIFY(SendEnabled(form));
        Recipient(form, 39)->click();
        QVERIFY(!SendEnabled(form));
    }

    void selectAllTicksEveryBoxAndIsNeverChangedByThem()
    {
        FormProfile p;
        MessageForm form(p.data);
        auto *selectAll = Control(form, SelectAll);
        Recipient(form, 1)->click();

        selectAll->click();
        QCOMPARE(TickedRecipients(form).size(), kRecipientCount); // empty names too
        QVERIFY(SendEnabled(form));

        Recipient(form, 7)->click();
        QVERIFY(selectAll->isChecked());
        QVERIFY(SendEnabled(form));

        selectAll->click();
        QVERIFY(TickedRecipients(form).isEmpty());
        QVERIFY(!SendEnabled(form));

        // Unticking every recipient by hand leaves it as it was.
        selectAll->click();
        for (int i = 0; i < kRecipientCount; ++i)
            Recipient(form, i)->click();
        QVERIFY(selectAll->isChecked());
        QVERIFY(!SendEnabled(form));
    }

    void urgentAndNotUrgentUntickEachOther_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<bool>("urgent");
        QTest::addColumn<bool>("notUrgent");
        const int u = PhraseBox::Urgent;
        const int n = PhraseBox::NotUrgent;
        QTest::newRow("urgent then not urgent") << QList<int>{u, n} << false << true;
        QTest::newRow("not urgent then urgent") << QList<int>{n, u} << true << false;
        QTest::newRow("urgent unticked leaves not urgent alone") << QList<int>{n, u, u} << false << false;
        QTest::newRow("not urgent unticked") << QList<int>{u, n, n} << false << false;
        QTest::newRow("urgent alone") << QList<int>{u} << true << false;
    }

    void urgentAndNotUrgentUntickEachOther()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(bool, urgent);
        QFETCH(bool, notUrgent);
        FormProfile p;
        MessageForm form(p.data);
        for (int id : clicks)
            Control(form, id)->click();
        QCOMPARE(Control(form, PhraseBox::Urgent)->isChecked(), urgent);
        QCOMPARE(Control(form, PhraseBox::NotUrgent)->isChecked(), notUrgent);
    }

    void sendRendersThenClearsForTheNextCaller_data()
    {
        QTest::addColumn<bool>("autoClose");
        QTest::newRow("form stays open") << false;
        QTest::newRow("auto close") << true;
    }

    void sendRendersThenClearsForTheNextCaller()
    {
        QFETCH(bool, autoClose);
        FormProfile p;
        p.data.settings.customMessage1Enabled = 1;
        WriteTextField(p.data.settings.customMessage1, QStringLiteral("Parcel"), kCustomMessage1MaxBytes);
        const QString attachment = p.dir.filePath(QStringLiteral("minutes.odt"));
        QVERIFY(WriteWholeFile(attachment, "minutes"));

        MessageForm form(p.data);
        QVERIFY(ShowActive(form));
        FillMessage(form, attachment);
        Control(form, KeepOnTop)->click();
        if (autoClose)
            Control(form, AutoClose)->click();
        QSignalSpy requested(&form, &MessageForm::sendRequested);
        // When the request is taken, the message is rendered and still on the form.
        connect(&form, &MessageForm::sendRequested, this, [&](const FormSnapshot &, const OutgoingMessage &message) {
            QCOMPARE(message.toList, QStringLiteral("Ann Archer <ann@example.org>;R&D team <rd@example.org>"));
            QCOMPARE(message.subject, QStringLiteral("Message From: Jane Caller"));
            QCOMPARE(Control<QLineEdit>(form, CallerName)->text(), QStringLiteral("Jane Caller"));
        });

        Control<QPushButton>(form, Send)->click();

        QCOMPARE(requested.size(), 1);
        const auto sent = requested.at(0).at(0).value<FormSnapshot>();
        QCOMPARE(sent.inputs.callerEmail, QStringLiteral("jane@acme.example"));
        QCOMPARE(sent.inputs.messageText, QStringLiteral("Line one\r\nline two"));
        QCOMPARE(sent.inputs.tickedPhrases,
                 (QSet<Phrase::Id>{Phrase::Telephoned, Phrase::Urgent, Phrase::Custom1}));
        QVERIFY(sent.inputs.recipientTicked[0] && sent.inputs.recipientTicked[2]);
        QVERIFY(sent.hasAttachment);
        QCOMPARE(sent.attachmentPath, attachment);
        QVERIFY(sent.ccCallerTicked);

        QVERIFY(TickedRecipients(form).isEmpty());
        QVERIFY(TickedPhrases(form).isEmpty());
        for (int id : {CallerName, CallerCompany, CallerPhone, CallerEmail})
            QVERIFY(Control<QLineEdit>(form, id)->text().isEmpty());
        QVERIFY(Control<QPlainTextEdit>(form, MessageText)->toPlainText().isEmpty());
        QVERIFY(!SendEnabled(form));

        // What goes with the next message stays.
        QVERIFY(Control(form, CcCaller)->isChecked());
        QCOMPARE(p.data.settings.ccCaller, 1);
        QVERIFY(Control(form, KeepOnTop)->isChecked());
        QVERIFY(form.snapshot().hasAttachment);
        QCOMPARE(form.snapshot().attachmentPath, attachment);
        QCOMPARE(Control<PathLabel>(form, AttachmentName)->fullText(), QStringLiteral("minutes.odt"));

        const SettingsRecord saved = p.saved();
        QCOMPARE(saved.keepOnTop, 1);
        QCOMPARE(saved.autoCloseAfterSend, autoClose ? 1 : 0);
        QCOMPARE(form.isVisible(), !autoClose);
        if (autoClose)
            QCOMPARE(form.result(), MessageForm::kSentAndClosed);
        else // ready for the next caller's name
            QTRY_COMPARE(QApplication::focusWidget(), Control<QLineEdit>(form, CallerName));
    }

    void textBeyondTheMessageLengthIsNotSent()
    {
        FormProfile p;
        MessageForm form(p.data);
        QSignalSpy requested(&form, &MessageForm::sendRequested);
        // Line breaks count as two characters each once they are "\r\n".
        const QString typed = QString(4000, QLatin1Char('a')) + QLatin1Char('\n') + QString(7000, QLatin1Char('b'));
        Control<QPlainTextEdit>(form, MessageText)->setPlainText(typed);
        QCOMPARE(Control<QPlainTextEdit>(form, MessageText)->toPlainText(), typed); // the edit takes it all
        Recipient(form, 0)->click();
        Control<QPushButton>(form, Send)->click();

        QCOMPARE(requested.size(), 1);
        const QString full = QString(4000, QLatin1Char('a')) + QStringLiteral("\r\n") + QString(7000, QLatin1Char('b'));
        QCOMPARE(requested.at(0).at(0).value<FormSnapshot>().inputs.messageText, full);
        QCOMPARE(requested.at(0).at(1).value<OutgoingMessage>().messageText, full.left(9999));
    }

    void messageEditHoldsAtMostItsLimit_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("after");
        const int limit = MessageForm::kMessageEditLimit;
        const QString full(limit - 2, QLatin1Char('x'));
        QTest::newRow("set whole") << QString() << 0 << QString(limit + 5, QLatin1Char('y'))
                                   << QString(limit, QLatin1Char('y'));
        QTest::newRow("pasted in the middle keeps the tail") << full << 10 << QStringLiteral("abcdef")
                                                             << full.left(10) + "ab" + full.mid(10);
        QTest::newRow("exactly full") << full << 0 << QStringLiteral("ab") << "ab" + full;
        // Two UTF-16 units for one character: never half of it.
        QTest::newRow("wide character at the cut") << full << 0 << (QStringLiteral("a") + QString::fromUcs4(U"\U0001F600"))
                                                   << "a" + full;
    }

    void messageEditHoldsAtMostItsLimit()
    {
        QFETCH(QString, before);
        QFETCH(int, at);
        QFETCH(QString, inserted);
        QFETCH(QString, after);
        FormProfile p;
        MessageForm form(p.data);
        auto *edit = Control<QPlainTextEdit>(form, MessageText);
        edit->setPlainText(before);
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(at);
        edit->setTextCursor(cursor);
        edit->insertPlainText(inserted);
        QCOMPARE(edit->toPlainText().size(), after.size());
        QVERIFY(edit->toPlainText() == after);
    }

    void keyboardOrderIsTheListedOne()
    {
        FormProfile p;
        p.data.settings.customMessage1Enabled = 1;
        p.data.settings.customMessage2Enabled = 1;
        MessageForm form(p.data);
        Recipient(form, 0)->click(); // Send takes part only when enabled
        QVERIFY(ShowActive(form));

        QList<int> expected = {CallerName, CallerCompany, CallerPhone, CallerEmail, MessageText,
                               PhraseBox::Telephoned, PhraseBox::PleaseCallBack, PhraseBox::ReturnedYourCall,
                               PhraseBox::WillSendYouAnEmail, PhraseBox::Urgent, PhraseBox::VisitedToSeeYou,
                               PhraseBox::WillVisitAnotherTime, PhraseBox::LeftItems,
                               PhraseBox::PleaseContactViaEmail, PhraseBox::NotUrgent, Send, Close};
        for (int i = 0; i < kRecipientCount; ++i)
            expected << FirstRecipient + i;
        expected << EditRecipients << AutoClose << Setup << Help << About << PhraseBox::WillCallBackLater
                 << PhraseBox::Custom1 << PhraseBox::Custom2 << SelectAll << CcCaller << Attach << KeepOnTop
                 << CallerName;

        QList<int> visited = {CallerName};
        for (int step = 1; step < expected.size(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << ControlIdOf(QApplication::focusWidget());
        }
        QCOMPARE(visited, expected);
    }

    void enterInTheMessageMakesANewLine()
    {
        FormProfile p;
        MessageForm form(p.data);
        Recipient(form, 0)->click();
        QVERIFY(ShowActive(form));
        QSignalSpy requested(&form, &MessageForm::sendRequested);
        auto *edit = Control<QPlainTextEdit>(form, MessageText);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("ab"));
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, QStringLiteral("c d"));
        QCOMPARE(edit->toPlainText(), QStringLiteral("ab\nc d"));
        QCOMPARE(requested.size(), 0);
        QVERIFY(form.isVisible());

        // In a caller field, Enter is the default button: Send.
        QTest::keyClick(Control<QLineEdit>(form, CallerName), Qt::Key_Return);
        QCOMPARE(requested.size(), 1);
        QCOMPARE(requested.at(0).at(0).value<FormSnapshot>().inputs.messageText, QStringLiteral("ab\r\nc d"));
    }

    // A button that has the keyboard is the one Enter presses; the form's
    // default (Send, enabled here) must not go instead.
    void enterPressesTheFocusedButton_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("Edit Recipients") << EditRecipients;
        QTest::newRow("Setup") << Setup;
        QTest::newRow("Help") << Help;
        QTest::newRow("About") << About;
        QTest::newRow("Attach") << Attach;
        QTest::newRow("Close") << Close;
    }

    void enterPressesTheFocusedButton()
    {
        QFETCH(int, button);
        FormProfile p;
        MessageForm form(p.data);
        Recipient(form, 0)->click();
        QVERIFY(ShowActive(form));
        QSignalSpy sent(&form, &MessageForm::sendRequested);
        QSignalSpy editRecipients(&form, &MessageForm::editRecipientsRequested);
        QSignalSpy setup(&form, &MessageForm::setupRequested);
        QSignalSpy help(&form, &MessageForm::helpRequested);
        QSignalSpy about(&form, &MessageForm::aboutRequested);
        const auto fileDialog = button == Attach ? AnswerFileDialog(QString()) : std::make_shared<bool>(false);

        auto *target = Control<QPushButton>(form, button);
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key_Return);

        QCOMPARE(sent.size(), 0);
        QCOMPARE(editRecipients.size(), button == EditRecipients ? 1 : 0);
        QCOMPARE(setup.size(), button == Setup ? 1 : 0);
        QCOMPARE(help.size(), button == Help ? 1 : 0);
        QCOMPARE(about.size(), button == About ? 1 : 0);
        QCOMPARE(*fileDialog, button == Attach);
        if (button == Close) {
            QVERIFY(!form.isVisible());
            QCOMPARE(form.result(), MessageForm::kClosed);
            return;
        }
        // Back in a caller field, Enter is Send again.
        QVERIFY(form.isVisible());
        auto *name = Control<QLineEdit>(form, CallerName);
        name->setFocus(Qt::BacktabFocusReason);
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
    }

    // A button's underlined letter presses it there and then: Alt+S sends
    // before the key is even released, with no wait for a pressed look.
    void underlinedLetterPressesAtOnce_data()
    {
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("sends");
        QTest::addColumn<int>("setups");
        QTest::newRow("Alt+S, Send") << 'S' << 1 << 0;
        QTest::newRow("Alt+U, Setup") << 'U' << 0 << 1;
    }

    void underlinedLetterPressesAtOnce()
    {
        QFETCH(char, letter);
        QFETCH(int, sends);
        QFETCH(int, setups);
        FormProfile p;
        MessageForm form(p.data);
        Recipient(form, 0)->click();
        QVERIFY(ShowActive(form));
        QSignalSpy sent(&form, &MessageForm::sendRequested);
        QSignalSpy setup(&form, &MessageForm::setupRequested);
        QTest::keyPress(Control<QLineEdit>(form, CallerName), Qt::Key(letter), Qt::AltModifier);
        QCOMPARE(sent.size(), sends);
        QCOMPARE(setup.size(), setups);
        QTest::keyRelease(Control<QLineEdit>(form, CallerName), Qt::Key(letter), Qt::AltModifier);
        // Once, not again when a pressed look would have ended.
        QTest::qWait(150);
        QCOMPARE(sent.size(), sends);
        QCOMPARE(setup.size(), setups);
    }

    // Screen readers and voice control tick a box through its accessible
    // "Toggle" action, which changes the state without a click: the form
    // follows the state, however it changed.
    void statesChangedWithoutAClickCount()
    {
        FormProfile p;
        MessageForm form(p.data);
        auto toggle = [](QWidget *box) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
            QVERIFY(accessible && accessible->actionInterface());
            accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        };
        toggle(Recipient(form, 3));
        QVERIFY(Recipient(form, 3)->isChecked());
        QVERIFY(SendEnabled(form));
        toggle(Recipient(form, 3));
        QVERIFY(!SendEnabled(form));

        toggle(Control(form, SelectAll));
        QCOMPARE(TickedRecipients(form).size(), kRecipientCount);
        QVERIFY(SendEnabled(form));

        toggle(Control(form, PhraseBox::Urgent));
        toggle(Control(form, PhraseBox::NotUrgent));
        QVERIFY(!Control(form, PhraseBox::Urgent)->isChecked());

        toggle(Control(form, CcCaller));
        QCOMPARE(p.data.settings.ccCaller, 1);
        toggle(Control(form, KeepOnTop));
        QCOMPARE(p.saved().keepOnTop, 1);
    }

    void relabellingKeepsTicks()
    {
        FormProfile p;
        MessageForm form(p.data);
        Recipient(form, 1)->click();
        Control(form, PhraseBox::Custom1)->setChecked(true); // hidden and off at first

        p.setRecipient(1, QStringLiteral("Bob Renamed"), QStringLiteral("bob@example.org"));
        p.setRecipient(3, QStringLiteral("New Person"), QStringLiteral("new@example.org"));
        form.recipientsChanged();
        QCOMPARE(Recipient(form, 1)->text(), QStringLiteral("Bob Renamed"));
        QCOMPARE(Recipient(form, 3)->text(), QStringLiteral("New Person"));
        QCOMPARE(TickedRecipients(form), QList<int>{1});
        QVERIFY(SendEnabled(form));

        auto *custom2 = Control(form, PhraseBox::Custom2);
        p.data.settings.customMessage2Enabled = 1;
        WriteTextField(p.data.settings.customMessage2, QStringLiteral("Call the depot"), kCustomMessage2MaxBytes);
        form.customMessagesChanged();
        QVERIFY(custom2->isVisibleTo(&form));
        QVERIFY(custom2->isEnabled());
        QCOMPARE(custom2->text(), QStringLiteral("Call the depot"));

        custom2->click();
        QVERIFY(custom2->isChecked());
        p.data.settings.customMessage2Enabled = 0;
        form.customMessagesChanged();
        QVERIFY(!custom2->isVisibleTo(&form));
        QVERIFY(!custom2->isEnabled());
        QVERIFY(!custom2->isChecked());
    }

    void attachThroughTheFileDialogAndDetach_data()
    {
        QTest::addColumn<bool>("pick");
        QTest::newRow("file picked") << true;
        QTest::newRow("dialog cancelled") << false;
    }

    void attachThroughTheFileDialogAndDetach()
    {
        QFETCH(bool, pick);
        FormProfile p;
        const QString file = p.dir.filePath(QStringLiteral("a rather long name for a spreadsheet of figures.ods"));
        QVERIFY(WriteWholeFile(file, "figures"));
        MessageForm form(p.data);
        QVERIFY(ShowActive(form));
        auto *button = Control<QPushButton>(form, Attach);
        auto *indicator = Control<QLabel>(form, AttachmentIndicator);
        auto *name = Control<PathLabel>(form, AttachmentName);

        const auto seen = AnswerFileDialog(pick ? file : QString());
        button->click();
        QVERIFY(*seen);
        if (!pick) {
            QVERIFY(!form.snapshot().hasAttachment);
            QVERIFY(form.snapshot().attachmentPath.isEmpty());
            QVERIFY(!indicator->isVisible());
            QCOMPARE(button->text(), QStringLiteral("A&ttach file..."));
            return;
        }
        QVERIFY(form.snapshot().hasAttachment);
        QCOMPARE(form.snapshot().attachmentPath, file);
        QCOMPARE(form.snapshot().attachmentName, QFileInfo(file).fileName());
        QVERIFY(indicator->isVisible());
        QCOMPARE(name->fullText(), QFileInfo(file).fileName());
        QVERIFY(name->text().endsWith(QStringLiteral("figures.ods"))); // shortened in the middle
        QCOMPARE(button->text(), QStringLiteral("&Detach file..."));

        button->click(); // detaching asks nothing
        QVERIFY(!form.snapshot().hasAttachment);
        QVERIFY(!indicator->isVisible());
        QVERIFY(name->fullText().isEmpty());
        QCOMPARE(button->text(), QStringLiteral("A&ttach file..."));
    }

    void restorePutsAFailedMessageBack_data()
    {
        QTest::addColumn<bool>("autoClose");
        QTest::newRow("same form") << false;
        QTest::newRow("fresh form after auto close") << true;
    }

    void restorePutsAFailedMessageBack()
    {
        QFETCH(bool, autoClose);
        FormProfile p;
        p.data.settings.customMessage1Enabled = 1;
        p.data.settings.autoCloseAfterSend = autoClose ? 1 : 0;
        const QString attachment = p.dir.filePath(QStringLiteral("plan.pdf"));
        QVERIFY(WriteWholeFile(attachment, "plan"));

        auto form = std::make_unique<MessageForm>(p.data);
        QVERIFY(ShowActive(*form));
        FillMessage(*form, attachment);
        Control(*form, SelectAll)->click();
        Recipient(*form, 5)->click(); // select all stays ticked with one box off
        const QList<int> recipientsBefore = TickedRecipients(*form);
        const QList<int> phrasesBefore = TickedPhrases(*form);
        QSignalSpy requested(form.get(), &MessageForm::sendRequested);
        Control<QPushButton>(*form, Send)->click();
        QCOMPARE(requested.size(), 1);
        const auto sent = requested.at(0).at(0).value<FormSnapshot>();

        if (autoClose) {
            QVERIFY(!form->isVisible());
            form = std::make_unique<MessageForm>(p.data);
            QVERIFY(ShowActive(*form));
        }
        form->restore(sent);

        QCOMPARE(TickedRecipients(*form), recipientsBefore);
        QCOMPARE(TickedPhrases(*form), phrasesBefore);
        QVERIFY(Control(*form, SelectAll)->isChecked());
        QVERIFY(Control(*form, CcCaller)->isChecked());
        QCOMPARE(p.data.settings.ccCaller, 1);
        QCOMPARE(Control<QLineEdit>(*form, CallerName)->text(), QStringLiteral("Jane Caller"));
        QCOMPARE(Control<QLineEdit>(*form, CallerCompany)->text(), QStringLiteral("Acme"));
        QCOMPARE(Control<QLineEdit>(*form, CallerPhone)->text(), QStringLiteral("555 0100"));
        QCOMPARE(Control<QLineEdit>(*form, CallerEmail)->text(), QStringLiteral("jane@acme.example"));
        QCOMPARE(Control<QPlainTextEdit>(*form, MessageText)->toPlainText(), QStringLiteral("Line one\nline two"));
        QVERIFY(form->snapshot().hasAttachment);
        QCOMPARE(form->snapshot().attachmentPath, attachment);
        QVERIFY(Control<QLabel>(*form, AttachmentIndicator)->isVisible());
        QCOMPARE(Control<QPushButton>(*form, Attach)->text(), QStringLiteral("&Detach file..."));
        QVERIFY(SendEnabled(*form));

        // Sent again, it is the same message.
        QSignalSpy again(form.get(), &MessageForm::sendRequested);
        Control<QPushButton>(*form, Send)->click();
        QCOMPARE(again.size(), 1);
        const auto resent = again.at(0).at(0).value<FormSnapshot>();
        QCOMPARE(resent.inputs.messageText, sent.inputs.messageText);
        QCOMPARE(resent.inputs.recipientTicked, sent.inputs.recipientTicked);
        QCOMPARE(resent.inputs.tickedPhrases, sent.inputs.tickedPhrases);
    }

    void closingKeepsTheTwoOptions_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close button") << QStringLiteral("button");
        QTest::newRow("Escape") << QStringLiteral("escape");
        QTest::newRow("close box") << QStringLiteral("closebox");
    }

    void closingKeepsTheTwoOptions()
    {
        QFETCH(QString, how);
        FormProfile p;
        MessageForm form(p.data);
        QVERIFY(ShowActive(form));
        Control(form, AutoClose)->click();
        Control(form, CcCaller)->click();
        // Keep on top was stored when ticked; untick it in memory behind the
        // form's back to see that closing stores the box, not the record.
        Control(form, KeepOnTop)->click();
        p.data.settings.keepOnTop = 0;
        QCOMPARE(p.saved().autoCloseAfterSend, 0);

        if (how == QLatin1String("button"))
            Control<QPushButton>(form, Close)->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(Control<QLineEdit>(form, CallerName), Qt::Key_Escape);
        else
            QVERIFY(form.close());

        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), MessageForm::kClosed);
        const SettingsRecord saved = p.saved();
        QCOMPARE(saved.keepOnTop, 1);
        QCOMPARE(saved.autoCloseAfterSend, 1);
        QCOMPARE(saved.ccCaller, 1);
    }

    void keepOnTopDoesNotEndTheRunningForm()
    {
        FormProfile p;
        MessageForm form(p.data);
        bool onTopWhileOpen = false;
        bool stillOpen = false;
        int savedWhileOpen = -1;
        QTimer::singleShot(0, &form, [&] {
            Control(form, KeepOnTop)->click();
            onTopWhileOpen = form.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            savedWhileOpen = p.saved().keepOnTop;
            QTimer::singleShot(0, &form, [&] {
                stillOpen = form.isVisible();
                Control(form, KeepOnTop)->click();
                Control<QPushButton>(form, Close)->click();
            });
        });
        QTimer::singleShot(60000, &form, [&] { form.done(-1); }); // a hang guard only
        const int result = form.exec();

        QVERIFY(onTopWhileOpen);
        QCOMPARE(savedWhileOpen, 1); // saved at once
        QVERIFY(stillOpen);
        QCOMPARE(result, MessageForm::kClosed);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(p.saved().keepOnTop, 0);
    }

    // A recipients file that could not be read at start (a link into a share
    // not mounted yet) becomes readable later: no save of this run may put
    // the empty table over it, and each skipped save says so.
    void fileUnreadAtStartSurvivesEverySave_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"Close", "Send", "Keep on top", "Setup"})
            QTest::newRow(how) << how;
    }

    void fileUnreadAtStartSurvivesEverySave()
    {
        QFETCH(QString, how);
        FormProfile p;
        p.data.settings.sendAsHtml = 0;
        QVERIFY(WriteWholeFile(p.data.settingsPath, SettingsToBytes(p.data.settings)));
        const QString share = p.dir.filePath(QStringLiteral("share"));
        const QString target = share + QStringLiteral("/qvnrecipients.dat");
        QVERIFY(QFile::link(target, p.data.recipientsPath));
        LoadDataFiles(p.data);
        QCOMPARE(p.messages.shown.size(), 1); // "Problem accessing", at start
        p.messages.shown.clear();

        // The share comes up; meanwhile a recipient was typed in.
        QByteArray theirs(sizeof(RecipientTable), '\0');
        theirs.replace(0, 10, "Kept Entry");
        QVERIFY(QDir().mkpath(share));
        QVERIFY(WriteWholeFile(target, theirs));
        p.setRecipient(0, "Ann Archer", "ann@example.org");

        MessageForm form(p.data);
        QVERIFY(ShowActive(form));
        if (how == u"Close") {
            Control<QPushButton>(form, Close)->click();
        } else if (how == u"Send") {
            Recipient(form, 0)->click();
            Control<QPushButton>(form, Send)->click();
        } else if (how == u"Keep on top") {
            Control(form, KeepOnTop)->click();
        } else {
            SetupDialog setup(p.data, &form);
            setup.show();
            setup.accept();
        }

        QCOMPARE(ReadWholeFile(target), theirs);
        QCOMPARE(QFileInfo(p.data.recipientsPath).symLinkTarget(), target);
        QVERIFY(!p.messages.shown.isEmpty());
        for (const auto &[caption, text] : std::as_const(p.messages.shown)) {
            QCOMPARE(caption, QStringLiteral("Quorvane"));
            QVERIFY2(text.startsWith(QStringLiteral("Quorvane Data File not saved - ") + p.data.recipientsPath), qPrintable(text));
        }
        // The settings file, read whole at start, is saved as usual.
        QCOMPARE(ReadWholeFile(p.data.settingsPath), SettingsToBytes(p.data.settings));
        form.close();
    }

    void aFailedRenderKeepsEverythingAndSaysSo()
    {
        FormProfile p;
        p.data.activeSendAsHtml = 1;
        p.data.settings.sendAsHtml = 1;
        p.data.settings.autoCloseAfterSend = 1;
        // A folder where the page should go: the file cannot be written.
        const QString page = DataFolderPath(p.dir.path()) + QStringLiteral("/this_html_message.htm");
        QVERIFY(QDir().mkpath(page));
        const QString attachment = p.dir.filePath(QStringLiteral("plan.pdf"));
        QVERIFY(WriteWholeFile(attachment, "plan"));

        MessageForm form(p.data);
        QVERIFY(ShowActive(form));
        FillMessage(form, attachment);
        const QList<int> phrases = TickedPhrases(form);
        QSignalSpy requested(&form, &MessageForm::sendRequested);
        Control<QPushButton>(form, Send)->click();

        QCOMPARE(requested.size(), 0);
        QVERIFY(form.isVisible());
        QCOMPARE(TickedRecipients(form), (QList<int>{0, 2}));
        QCOMPARE(TickedPhrases(form), phrases);
        QCOMPARE(Control<QLineEdit>(form, CallerName)->text(), QStringLiteral("Jane Caller"));
        QCOMPARE(Control<QPlainTextEdit>(form, MessageText)->toPlainText(), QStringLiteral("Line one\nline two"));
        QVERIFY(form.snapshot().hasAttachment);
        QVERIFY(SendEnabled(form));

        auto *box = form.findChild<QMessageBox *>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral("Quorvane"));
        QVERIFY(box->text().contains(page));
        QVERIFY(box->text().contains(QStringLiteral("not sent")));
        box->accept();
    }
};

QTEST_MAIN(TestMessageForm)
#include "test_messageform.moc"
