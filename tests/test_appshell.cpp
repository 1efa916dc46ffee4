#include "TestSupport.h"

#include "app/AppState.h"
#include "app/NoticeWindow.h"
#include "app/SendErrorDialog.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"
#include "app/TrayController.h"
#include "widgets/DialogTemplate.h"
#include "form/MessageForm.h"
#include "form/MessageFormTemplate.h"
#include "store/DataFiles.h"
#include "store/SafeFile.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSysInfo>
#include <QScopeGuard>
#include <QtTest>

namespace {

// Runs action on the next modal window that opens, once the event loop turns.
template <class Action>
void OnNextModal(Action action)
{
    QTimer::singleShot(0, [action] {
        QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
        action(QApplication::activeModalWidget());
    });
}

// Answers every message box while it lives: Yes or No where the box asks,
// OK elsewhere, and keeps the title and text of each.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(bool yes) : m_yes(yes)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            shown.append(box->windowTitle() + QStringLiteral(": ") + box->text());
            if (QAbstractButton *answer = box->button(m_yes ? QMessageBox::Yes : QMessageBox::No))
                answer->click();
            else
                box->accept();
        });
        m_timer.start(20);
    }
    QStringList shown;

private:
    bool m_yes;
    QTimer m_timer;
};

} // namespace

class TestAppShell : public QObject {
    Q_OBJECT
private slots:
    void noticeSitsNearTheBottomRightCorner()
    {
        NoticeWindow notice;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(notice.geometry(), QRect(screen.right() + 1 - 200, screen.bottom() + 1 - 100, 120, 25));
        // See-through by its own pixels, which every compositor honours.
        QVERIFY(notice.testAttribute(Qt::WA_TranslucentBackground));
        // The next caller's details are typed while it shows.
        QVERIFY(notice.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(notice.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    }

    // 160 of 255 everywhere, text and border included, where the desktop
    // blends windows; solid where nothing would blend it.
    void noticeIsDrawnAtAlpha160()
    {
        const QPalette palette = NoticeWindow().palette();
        for (const bool seeThrough : {true, false}) {
            const QImage picture = NoticeWindow::picture(QSize(120, 25), palette, seeThrough);
            QCOMPARE(picture.size(), QSize(120, 25));
            int text = 0;
            for (int y = 0; y < picture.height(); ++y) {
                for (int x = 0; x < picture.width(); ++x) {
                    const QColor c = picture.pixelColor(x, y);
                    QVERIFY2(qAbs(c.alpha() - (seeThrough ? 160 : 255)) <= 1,
                             qPrintable(QStringLiteral("alpha %1 at %2,%3").arg(c.alpha()).arg(x).arg(y)));
                    text += c.blue() > 200 && c.red() < 100;
                }
            }
            QVERIFY(text > 20); // the blue words are there
        }
    }

    void successShowsTheNoticeForTwoSeconds()
    {
        AppState state;
        TrayController controller(state);
        controller.showSendOutcome(0);
        QVERIFY(controller.notice().isVisible());
        QTest::qWait(1500);
        controller.showSendOutcome(0); // a second success restarts the two seconds
        QTest::qWait(1000);
        QVERIFY(controller.notice().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!controller.notice().isVisible(), 5000);
    }

    void failureShowsTheSendErrorDialogAndNoNotice()
    {
        AppState state;
        TrayController controller(state);
        QString title;
        OnNextModal([&title](QWidget *w) {
            title = w->windowTitle();
            QTest::keyClick(w, Qt::Key_Return);
        });
        controller.showSendOutcome(1);
        QCOMPARE(title, QStringLiteral("Quorvane Send Error"));
        QVERIFY(!controller.notice().isVisible());
    }

    void sendErrorDialogTexts()
    {
        SendErrorDialog dialog;
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY(texts.contains(QStringLiteral("An error occurred during the last message send. Check settings.")));
        QVERIFY(texts.contains(QStringLiteral("Note that some mail servers reject large attachments (e.g. over 10 "
                                              "MB).\n\nToo many recepients may also cause a send error.")));
        QVERIFY(texts.contains(QStringLiteral(
            "Check all email addresses are correct, including any caller CC address typed in.")));
        QVERIFY(ControlById<QPushButton>(&dialog, kOkButton)->isDefault());
    }

    void sendErrorDialogEnds_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("OK") << 0;
        QTest::newRow("Enter") << 1;
        QTest::newRow("Escape") << 2;
        QTest::newRow("close box") << 3;
    }

    void sendErrorDialogEnds()
    {
        QFETCH(int, how);
        SendErrorDialog dialog;
        QPoint shownAt;
        OnNextModal([how, &shownAt](QWidget *w) {
            shownAt = w->frameGeometry().topLeft();
            switch (how) {
            case 0: ControlById<QPushButton>(w, kOkButton)->click(); break;
            case 1: QTest::keyClick(w, Qt::Key_Return); break;
            case 2: QTest::keyClick(w, Qt::Key_Escape); break;
            default: w->close(); break;
            }
        });
        dialog.exec();
        QVERIFY(!dialog.isVisible());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QSize size = dialog.frameGeometry().size();
        QCOMPARE(shownAt, QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2));
    }

    // The error says what went wrong when delivery knows, such as which
    // address it could not use.
    void sendErrorDialogNamesTheFailure()
    {
        const QString why = QStringLiteral("The address \"dave.example.org\" cannot be used: it has no \"@\".");
        SendErrorDialog dialog(nullptr, why);
        QStringList texts;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY(texts.contains(why));
        QVERIFY(texts.contains(QStringLiteral(
            "Check all email addresses are correct, including any caller CC address typed in.")));
    }

    // With auto close on, the form is gone while its message goes out. A
    // tray click during that send, when the send then fails, is answered by
    // the form that comes back with the message, not by a second, empty one
    // after it.
    void failedSendAfterAutoCloseOpensOneFormForATrayClickDuringIt()
    {
        Profile profile(Profile::Unsaved);
        AppState &state = profile.state;
        StoredData &data = profile.data;
        // The mail library where the build puts it, beside this program's folder.
        state.installedPath = QCoreApplication::applicationDirPath() + QStringLiteral("/");
        data.settings.autoCloseAfterSend = 1;
        data.settings.sendAsHtml = 0;
        WriteTextField(data.settings.senderAddress, QStringLiteral("desk@example.org"));
        WriteTextField(data.recipients.entries[0].name, QStringLiteral("Ann"));
        WriteTextField(data.recipients.entries[0].address, QStringLiteral("ann@example.org"));
        SaveDataFiles(data);

        // A server that takes the connection, says nothing, and hangs up a
        // little later: the send lasts long enough for a click, then fails.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::newConnection, &server, [&server] {
            QTcpSocket *socket = server.nextPendingConnection();
            QTimer::singleShot(300, socket, [socket] { socket->abort(); });
        });
        // In the record as well as the working copy: the form refreshes its
        // working copies from the record when it sends.
        WriteTextField(data.settings.smtpServer, QStringLiteral("127.0.0.1"));
        data.activeSmtpServer = QStringLiteral("127.0.0.1");
        data.settings.smtpPort = server.serverPort();

        TrayController controller(state);
        int formsOpened = 0;
        int errorsShown = 0;
        bool clickedDuringSend = false;
        bool restored = false;
        QPointer<MessageForm> current;
        QTimer driver;
        connect(&driver, &QTimer::timeout, &controller, [&] {
            MessageForm *form = controller.form();
            const bool sending = QApplication::overrideCursor() != nullptr;
            if (sending && !clickedDuringSend) {
                clickedDuringSend = true;
                controller.openForm(); // the tray click
                return;
            }
            if (auto *error = qobject_cast<SendErrorDialog *>(QApplication::activeModalWidget())) {
                ++errorsShown;
                error->accept();
                return;
            }
            if (!form || !form->isVisible() || form == current)
                return;
            current = form;
            ++formsOpened;
            if (formsOpened == 1) {
                ControlById<QCheckBox>(form, FormControl::FirstRecipient)->click();
                ControlById<QLineEdit>(form, FormControl::CallerName)->setText(QStringLiteral("Jane Caller"));
                ControlById<QPushButton>(form, FormControl::Send)->click();
                return;
            }
            if (formsOpened == 2)
                restored = ControlById<QLineEdit>(form, FormControl::CallerName)->text() == QStringLiteral("Jane Caller");
            ControlById<QPushButton>(form, FormControl::Close)->click();
        });
        driver.start(5);
        controller.openForm();
        // Whatever the send opens, it has opened by the time it has ended.
        QTRY_VERIFY_WITH_TIMEOUT(errorsShown > 0 && !controller.form() && !QApplication::activeModalWidget(), 20000);
        QTest::qWait(200);
        driver.stop();

        QVERIFY(clickedDuringSend);
        QCOMPARE(errorsShown, 1);
        QVERIFY(restored);
        QCOMPARE(formsOpened, 2);
    }

    // The form that stays open after a failed send already holds the
    // message again while the error dialog says why it failed.
    void formBehindTheSendErrorDialogHoldsTheMessage()
    {
        Profile profile(Profile::Unsaved);
        AppState &state = profile.state;
        StoredData &data = profile.data;
        state.installedPath = QCoreApplication::applicationDirPath() + QStringLiteral("/");
        data.settings.autoCloseAfterSend = 0;
        data.settings.sendAsHtml = 0;
        WriteTextField(data.settings.senderAddress, QStringLiteral("desk@example.org"));
        WriteTextField(data.recipients.entries[0].address, QStringLiteral("ann@example.org"));
        // Nothing listens there: the send fails at once.
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        WriteTextField(data.settings.smtpServer, QStringLiteral("127.0.0.1"));
        data.activeSmtpServer = QStringLiteral("127.0.0.1");
        data.settings.smtpPort = port;
        SaveDataFiles(data);

        TrayController controller(state);
        bool sent = false;
        QString behindTheDialog = QStringLiteral("<no dialog>");
        QTimer driver;
        connect(&driver, &QTimer::timeout, &controller, [&] {
            MessageForm *form = controller.form();
            if (auto *error = qobject_cast<SendErrorDialog *>(QApplication::activeModalWidget())) {
                behindTheDialog = ControlById<QLineEdit>(form, FormControl::CallerName)->text();
                error->accept();
                return;
            }
            if (!form || !form->isVisible())
                return;
            if (!sent) {
                sent = true;
                ControlById<QCheckBox>(form, FormControl::FirstRecipient)->click();
                ControlById<QLineEdit>(form, FormControl::CallerName)->setText(QStringLiteral("Jane Caller"));
                ControlById<QPushButton>(form, FormControl::Send)->click();
            } else if (behindTheDialog != u"<no dialog>") {
                ControlById<QPushButton>(form, FormControl::Close)->click();
            }
        });
        driver.start(5);
        controller.openForm();
        QTRY_VERIFY_WITH_TIMEOUT(behindTheDialog != u"<no dialog>" && !controller.form(), 20000);
        driver.stop();
        QCOMPARE(behindTheDialog, QStringLiteral("Jane Caller"));
    }

    void trayMenuOffersOpenAsDefaultAndExit()
    {
        AppState state;
        TrayController controller(state);
        const QList<QAction *> actions = controller.trayMenu().actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("&Open"));
        QCOMPARE(actions[1]->text(), QStringLiteral("E&xit"));
        QCOMPARE(controller.trayMenu().defaultAction(), actions[0]);
        QCOMPARE(TrayController::kTrayTip, QStringLiteral("Quorvane Ready.\nLeft click to create a message."));
        // With no notification area, no icon is made: the first icon fixes
        // for good which kind of tray Qt talks to.
        controller.putInTray();
        QVERIFY(!controller.trayIcon());
        QVERIFY(!controller.inTray());
    }

    void missingInstalledPathIsReportedAndEndsWithZero()
    {
        QTemporaryDir profile;
        AppState state;
        QString caption, text;
        OnNextModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            caption = box->windowTitle();
            text = box->text();
            box->accept();
        });
        QCOMPARE(RunQuorvane(state, QString(), profile.path()), 0);
        QCOMPARE(caption, QStringLiteral("Quorvane Not Installed Properly"));
        QCOMPARE(text, QStringLiteral("Installed path not found - Please re-install Quorvane"));
        // Nothing was created beyond the data folder the lock lives in.
        QVERIFY(!QFile::exists(profile.path() + QStringLiteral("/Lumarc/quorvane/quorvane.dat")));
    }

    // A lock file that names no live copy of ours never keeps the program
    // away without a word: one that cannot be read is taken over, and one
    // from another computer is put to the user.
    void lockContentsNeverEndInASilentExit_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("started");
        const QByteArray otherHost = "4242\nquorvane\nreception-pc-old\n0123456789abcdef0123456789abcdef\nboot\n";
        QTest::newRow("empty (a power cut)") << QByteArray() << true << false << true;
        QTest::newRow("zeros") << QByteArray(64, '\0') << true << false << true;
        QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock \x01\x02\n\n") << true << false << true;
        QTest::newRow("another host, start here") << otherHost << true << true << true;
        QTest::newRow("another host, keep away") << otherHost << false << true << false;
    }

    void lockContentsNeverEndInASilentExit()
    {
        QFETCH(QByteArray, contents);
        QFETCH(bool, answerYes);
        QFETCH(bool, asked);
        QFETCH(bool, started);
        QTemporaryDir profile;
        const QString folder = profile.path() + QStringLiteral("/Lumarc/quorvane");
        QVERIFY(QDir().mkpath(folder));
        const QString lock = folder + QStringLiteral("/quorvane.lock");
        QVERIFY(WriteWholeFile(lock, contents));

        AppState state;
        BoxAnswerer answerer(answerYes);
        // No program path: a start that gets past the lock ends at the
        // "Installed path not found" box.
        QCOMPARE(RunQuorvane(state, QString(), profile.path()), 0);

        const QStringList questions = answerer.shown.filter(QStringLiteral("reception-pc-old"));
        QCOMPARE(questions.size(), asked ? 1 : 0);
        if (asked)
            QVERIFY(questions.first().contains(folder));
        QCOMPARE(answerer.shown.filter(QStringLiteral("Installed path not found")).size(), started ? 1 : 0);
        QVERIFY(!answerer.shown.isEmpty());
        if (!started)
            QCOMPARE(ReadWholeFile(lock), contents);
    }

    // A second copy brings the first forward through a socket that leaves no
    // file behind, so a copy that is killed leaves none either.
    void askingTheOwnerLeavesNoSocketFile()
    {
        QTemporaryDir profile;
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTemp); });
        SingleInstance owner(profile.path());
        QCOMPARE(owner.acquire(), SingleInstance::Owner);
        QSignalSpy shown(&owner, &SingleInstance::showRequested);

        SingleInstance second(profile.path());
        QCOMPARE(second.acquire(), SingleInstance::HeldByAnother);
        second.askOwnerToShow();

        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(QDir(profile.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("quorvane.lock")});
    }

    void autoRunCommandQuotesTheProgram()
    {
        QCOMPARE(AutoRunCommandFor(QStringLiteral("/opt/quorvane/bin/"), QStringLiteral("quorvane")),
                 QStringLiteral("\"/opt/quorvane/bin/quorvane\""));
    }
};

QTEST_MAIN(TestAppShell)
#include "test_appshell.moc"
