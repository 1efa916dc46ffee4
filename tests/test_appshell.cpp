#include "TestSupport.h"

#include "app/AppState.h"
#include "app/NoticeWindow.h"
#include "app/SendErrorDialog.h"
#include "app/Startup.h"
#include "app/TrayController.h"
#include "dialogs/DialogTemplate.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
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

} // namespace

class TestAppShell : public QObject {
    Q_OBJECT
private slots:
    void noticeSitsNearTheBottomRightCorner()
    {
        NoticeWindow notice;
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(notice.geometry(), QRect(screen.right() + 1 - 200, screen.bottom() + 1 - 100, 120, 25));
        QCOMPARE(notice.windowOpacity(), 160.0 / 255.0);
        // The next caller's details are typed while it shows.
        QVERIFY(notice.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(notice.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
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
        QVERIFY(ControlById<QPushButton>(&dialog, 1)->isDefault());
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
            case 0: ControlById<QPushButton>(w, 1)->click(); break;
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

    void autoRunCommandQuotesTheProgram()
    {
        QCOMPARE(AutoRunCommandFor(QStringLiteral("/opt/quorvane/bin/"), QStringLiteral("quorvane")),
                 QStringLiteral("\"/opt/quorvane/bin/quorvane\""));
    }
};

QTEST_MAIN(TestAppShell)
#include "test_appshell.moc"
