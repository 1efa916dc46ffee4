#include "DialogTesting.h"

#include "dialogs/AboutDialog.h"
#include "dialogs/CustomMessagesDialog.h"
#include "dialogs/RecipientsEditor.h"
#include "dialogs/SetupDialog.h"

#include <QScreen>
#include <QtTest>

#include <functional>

using DialogFactory = std::function<QDialog *(StoredData &, QWidget *)>;
Q_DECLARE_METATYPE(DialogFactory)

// Captions, tab order and opening place, the same for every dialog of the
// program: centred on the screen whatever their owner.
class TestDialogFrames : public QObject {
    Q_OBJECT
private slots:
    void opensCentredWithItsTabOrder_data()
    {
        QTest::addColumn<DialogFactory>("make");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("tabOrder");

        QTest::newRow("Setup") << DialogFactory([](StoredData &s, QWidget *o) { return new SetupDialog(s, o); })
                               << "Setup"
                               << QStringList{"serverEdit", "senderNameEdit", "senderAddressEdit", "bccToSenderBox",
                                              "okButton", "useAuthenticationBox", "userNameEdit", "passwordEdit",
                                              "sendAsHtmlBox", "customMessagesButton", "portEdit", "autoRunBox"};
        QTest::newRow("Custom Messages")
            << DialogFactory([](StoredData &s, QWidget *o) { return new CustomMessagesDialog(s, o); })
            << "Custom Messages" << QStringList{"message1Box", "message1Edit", "message2Box", "message2Edit", "okButton"};

        // Row by row, name before address, the left block of 20 first.
        QStringList recipients;
        for (int entry = 0; entry < 40; ++entry)
            recipients << QStringLiteral("name%1Edit").arg(entry) << QStringLiteral("address%1Edit").arg(entry);
        recipients << "okButton";
        QTest::newRow("Edit Recipients")
            << DialogFactory([](StoredData &s, QWidget *o) { return new RecipientsEditor(s, o); })
            << "Edit Recipients" << recipients;
        QTest::newRow("About") << DialogFactory([](StoredData &, QWidget *o) { return new AboutDialog(o); })
                               << "About Quorvane" << QStringList{"okButton", "webLink"};
    }

    void opensCentredWithItsTabOrder()
    {
        QFETCH(DialogFactory, make);
        QFETCH(QString, caption);
        QFETCH(QStringList, tabOrder);
        Profile profile;
        // An owner in a corner: the dialog still opens in the middle of the
        // screen, not over its owner.
        QWidget owner;
        owner.setGeometry(0, 0, 200, 150);
        owner.show();
        std::unique_ptr<QDialog> dialog(make(profile.data, &owner));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->show();

        QCOMPARE(dialog->windowTitle(), caption);
        const QRect screen = dialog->screen()->geometry();
        const QRect frame = dialog->frameGeometry();
        QVERIFY(frame.width() <= screen.width() && frame.height() <= screen.height());
        QCOMPARE(frame.topLeft(), QPoint(screen.x() + (screen.width() - frame.width()) / 2,
                                         screen.y() + (screen.height() - frame.height()) / 2));
        QCOMPARE(TabOrderNames(dialog.get()), tabOrder);
        // Every control the code finds by id has a name a person can read.
        for (QWidget *control : dialog->findChildren<QWidget *>()) {
            if (ControlIdOf(control) == kNoId)
                continue;
            const QString name = control->objectName();
            QVERIFY2(!name.isEmpty() && name.front().isLower() && !name.contains(u' '),
                     qPrintable(QString::number(ControlIdOf(control))));
        }
        dialog->hide();
    }
};

QTEST_MAIN(TestDialogFrames)
#include "test_dialogframes.moc"
