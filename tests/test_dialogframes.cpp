#include "DialogTesting.h"

#include "app/SendErrorDialog.h"
#include "dialogs/AboutDialog.h"
#include "widgets/HyperLink.h"
#include "dialogs/CustomMessagesDialog.h"
#include "dialogs/RecipientsEditor.h"
#include "dialogs/SamplePreview.h"
#include "dialogs/SetupDialog.h"
#include "form/MessageForm.h"

#include <QAccessible>
#include <QLabel>
#include <QMap>
#include <QScreen>
#include <QtTest>

#include <functional>

using DialogFactory = std::function<QDialog *(StoredData &, QWidget *)>;
Q_DECLARE_METATYPE(DialogFactory)
using NamedControls = QMap<int, QString>;
using RoledControls = QMap<int, QAccessible::Role>;

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
                                              "sendAsHtmlBox", "customMessagesButton", "portEdit", "autoRunBox",
                                              "signInButton"};
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

    // What a screen reader or voice control sees: every field, button, box,
    // picture and custom control has a name, fields their label's, and the
    // custom controls say what they are.
    void everyControlHasANameAndRole_data()
    {
        QTest::addColumn<DialogFactory>("make");
        QTest::addColumn<NamedControls>("names");
        QTest::addColumn<RoledControls>("roles");

        QTest::newRow("message form")
            << DialogFactory([](StoredData &s, QWidget *o) { return new MessageForm(s, o); })
            << NamedControls{{1031, "Name:"}, {1033, "Company:"}, {1034, "Phone:"}, {1035, "Email:"},
                             {1036, "Message (10,000 characters Maximum)"}, {3002, "Quorvane"},
                             {168, "Attached file"}, {1303, "Recipient 4"}}
            << RoledControls{{3002, QAccessible::Graphic}, {168, QAccessible::Graphic}};
        QTest::newRow("Setup")
            << DialogFactory([](StoredData &s, QWidget *o) { return new SetupDialog(s, o); })
            << NamedControls{{3000, "Host name: e.g. smtp.example.com"}, {3001, "Name: e.g. My Name"},
                             {3002, "Email Address: e.g. me@example.com"}, {3004, "Username"}, {3005, "Password"},
                             {3006, "Port"}}
            << RoledControls{{3005, QAccessible::EditableText}};
        QTest::newRow("Custom Messages")
            << DialogFactory([](StoredData &s, QWidget *o) { return new CustomMessagesDialog(s, o); })
            << NamedControls{{3018, "Message:"}, {3019, "Message:"}} << RoledControls{};
        QTest::newRow("Edit Recipients")
            << DialogFactory([](StoredData &s, QWidget *o) { return new RecipientsEditor(s, o); })
            << NamedControls{{2000, "Name 1"}, {2020, "Address 1"}, {2059, "Name 40"}, {2079, "Address 40"}}
            << RoledControls{};
        QTest::newRow("About")
            << DialogFactory([](StoredData &, QWidget *o) { return new AboutDialog(o); })
            << NamedControls{{2, "Quorvane"}, {3015, HyperLink::DisplayText()}}
            << RoledControls{{2, QAccessible::Graphic}, {3015, QAccessible::Link}};
        QTest::newRow("Send Error")
            << DialogFactory([](StoredData &, QWidget *o) { return new SendErrorDialog(o); })
            << NamedControls{} << RoledControls{{170, QAccessible::Graphic}};
    }

    void everyControlHasANameAndRole()
    {
        QFETCH(DialogFactory, make);
        QFETCH(NamedControls, names);
        QFETCH(RoledControls, roles);
        Profile profile;
        std::unique_ptr<QDialog> dialog(make(profile.data, nullptr));
        dialog->show();

        for (QWidget *w : dialog->findChildren<QWidget *>()) {
            const auto *label = qobject_cast<QLabel *>(w);
            const bool picture = label && !label->pixmap().isNull();
            const bool control = (w->focusPolicy() & Qt::TabFocus) || picture || qobject_cast<SamplePreview *>(w);
            if (!control || !w->isVisibleTo(dialog.get()))
                continue;
            const QString what = QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName();
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(w);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), qPrintable(what));
            QVERIFY2(accessible->role() != QAccessible::Client, qPrintable(what));
        }
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            QWidget *w = ControlById<QWidget>(dialog.get(), it.key());
            QVERIFY2(w, qPrintable(QString::number(it.key())));
            QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), it.value());
        }
        for (auto it = roles.cbegin(); it != roles.cend(); ++it) {
            QAccessibleInterface *accessible =
                QAccessible::queryAccessibleInterface(ControlById<QWidget>(dialog.get(), it.key()));
            QCOMPARE(accessible->role(), it.value());
            if (it.value() == QAccessible::EditableText)
                QVERIFY(accessible->state().passwordEdit);
        }
        dialog->hide();
    }
};

QTEST_MAIN(TestDialogFrames)
#include "test_dialogframes.moc"
