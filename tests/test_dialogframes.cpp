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
        QTest::addColumn<QList<int>>("tabOrder");

        QTest::newRow("Setup") << DialogFactory([](StoredData &s, QWidget *o) { return new SetupDialog(s, o); })
                               << "Setup"
                               << QList<int>{3000, 3001, 3002, 3010, 1, 3003, 3004, 3005, 3007, 1060, 3006, 3011};
        QTest::newRow("Custom Messages")
            << DialogFactory([](StoredData &s, QWidget *o) { return new CustomMessagesDialog(s, o); })
            << "Custom Messages" << QList<int>{3020, 3018, 3021, 3019, 1};

        // Row by row, name before address, the left block of 20 first.
        QList<int> recipients;
        for (int row = 0; row < 20; ++row)
            recipients << 2000 + row << 2020 + row;
        for (int row = 0; row < 20; ++row)
            recipients << 2040 + row << 2060 + row;
        recipients << 1;
        QTest::newRow("Edit Recipients")
            << DialogFactory([](StoredData &s, QWidget *o) { return new RecipientsEditor(s, o); })
            << "Edit Recipients" << recipients;
        QTest::newRow("About") << DialogFactory([](StoredData &, QWidget *o) { return new AboutDialog(o); })
                               << "About Quorvane" << QList<int>{1, 3015};
    }

    void opensCentredWithItsTabOrder()
    {
        QFETCH(DialogFactory, make);
        QFETCH(QString, caption);
        QFETCH(QList<int>, tabOrder);
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
        QCOMPARE(TabOrderIds(dialog.get()), tabOrder);
        dialog->hide();
    }
};

QTEST_MAIN(TestDialogFrames)
#include "test_dialogframes.moc"
