#include "PythonFixture.h"
#include "TestSupport.h"

#include "signin/SignInConfigFile.h"
#include "signin/SignInDialog.h"
#include "store/SignInChoices.h"
#include "signin/TokenFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QtTest>

// The sign-in dialog on real widgets, signing in against the real
// authorization server (fixtures/oauth_server.py) through a stand-in browser
// that QDesktopServices hands the provider's page to. There is no keyring in
// this suite: the session bus leads nowhere, as on a desktop without one.
namespace {

const QString kAccount = QStringLiteral("desk@example.org");

class StandInBrowser : public QObject {
    Q_OBJECT
public:
    explicit StandInBrowser(bool follow) : m_follow(follow)
    {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    }
    ~StandInBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("http")); }
    int opened = 0;

public slots:
    void open(const QUrl &url)
    {
        ++opened;
        if (!m_follow)
            return;
        QNetworkReply *reply = m_network.get(QNetworkRequest(url));
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    }

private:
    bool m_follow;
    QNetworkAccessManager m_network;
};

template <class T>
T *Control(const SignInDialog &dialog, int id)
{
    return ControlById<T>(&dialog, id);
}

SignInDialogInputs Inputs(const QString &dataFolder, const PythonFixture *server)
{
    SignInDialogInputs inputs;
    inputs.account = kAccount;
    inputs.dataFolder = dataFolder;
    if (server) {
        inputs.deployed = {QStringLiteral("custom"), QStringLiteral("quorvane-test-client"), {}, {},
                           server->url(QStringLiteral("/authorize")), server->url(QStringLiteral("/token")),
                           QStringLiteral("mail offline_access")};
    }
    inputs.keyringWait = std::chrono::seconds(10);
    return inputs;
}

} // namespace

class SignInDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Never the keyring of whoever runs the tests.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvane-test-bus");
    }

    void eachProviderAsksForItsOwnFields()
    {
        QTemporaryDir data;
        SignInDialogInputs inputs = Inputs(data.path(), nullptr);
        inputs.deployed = {QStringLiteral("microsoft"), QStringLiteral("deployed-id"), {}, QStringLiteral("contoso.example"), {}, {}, {}};
        SignInDialog dialog(inputs, nullptr);
        auto *provider = Control<QComboBox>(dialog, SignInDialog::kProvider);
        QCOMPARE(provider->currentIndex(), 0);
        QCOMPARE(Control<QLineEdit>(dialog, SignInDialog::kClientId)->text(), QStringLiteral("deployed-id"));
        QCOMPARE(Control<QLineEdit>(dialog, SignInDialog::kTenant)->text(), QStringLiteral("contoso.example"));
        QCOMPARE(dialog.status(), QStringLiteral("Not signed in."));
        QVERIFY(!Control<QPushButton>(dialog, SignInDialog::kCancel)->isEnabled());
        const QList<int> addresses{SignInDialog::kAuthorizeUrl, SignInDialog::kTokenUrl, SignInDialog::kScope};
        for (int row = 0; row < 3; ++row) {
            provider->setCurrentIndex(row);
            QCOMPARE(Control<QLineEdit>(dialog, SignInDialog::kTenant)->isEnabled(), row == 0);
            for (const int id : addresses)
                QCOMPARE(Control<QLineEdit>(dialog, id)->isEnabled(), row == 2);
        }

        // What was chosen here before wins over the file.
        inputs.choices = {QStringLiteral("google"), QStringLiteral("chosen-id"), {}, true, false, {}, {}, {}};
        SignInDialog again(inputs, nullptr);
        QCOMPARE(Control<QComboBox>(again, SignInDialog::kProvider)->currentIndex(), 1);
        QCOMPARE(Control<QLineEdit>(again, SignInDialog::kClientId)->text(), QStringLiteral("chosen-id"));
        QCOMPARE(again.status(), QStringLiteral("Signed in as desk@example.org."));
    }

    // Each provider shows and uses its own values: never the client id or
    // addresses of the one shown before. The administrator's file is read
    // again when the provider changes.
    void switchingProviderShowsThatProvidersValues()
    {
        QTemporaryDir data;
        QTemporaryDir admin;
        const QString file = admin.filePath(QStringLiteral("quorvane-signin.conf"));
        QVERIFY(WriteWholeFile(file, "[SignIn]\nProvider=custom\nClientId=custom-id\nAuthorizeUrl=https://idp.example/a\n"
                                     "TokenUrl=https://idp.example/t\nScope=mail offline_access\n"));
        SignInDialogInputs inputs = Inputs(data.path(), nullptr);
        inputs.readDeployed = [file] { return ReadSignInConfigFile(file); };
        SignInDialog dialog(inputs, nullptr);
        auto *provider = Control<QComboBox>(dialog, SignInDialog::kProvider);
        auto text = [&](int id) { return Control<QLineEdit>(dialog, id)->text(); };
        QCOMPARE(provider->currentIndex(), 2);
        QCOMPARE(text(SignInDialog::kClientId), QStringLiteral("custom-id"));
        QCOMPARE(text(SignInDialog::kTokenUrl), QStringLiteral("https://idp.example/t"));

        provider->setCurrentIndex(0);
        QCOMPARE(text(SignInDialog::kClientId), QString());
        // The greyed fields show Microsoft's own addresses and scope.
        QCOMPARE(text(SignInDialog::kAuthorizeUrl),
                 QStringLiteral("https://login.microsoftonline.com/organizations/oauth2/v2.0/authorize"));
        QCOMPARE(text(SignInDialog::kTokenUrl), QStringLiteral("https://login.microsoftonline.com/organizations/oauth2/v2.0/token"));
        // Microsoft's mail service first, its scope with it; SMTP has its own.
        auto *through = Control<QComboBox>(dialog, SignInDialog::kSendThrough);
        QCOMPARE(through->currentText(), QStringLiteral("Microsoft 365 mail service"));
        QCOMPARE(text(SignInDialog::kScope), QStringLiteral("https://graph.microsoft.com/Mail.Send offline_access openid profile"));
        through->setCurrentIndex(through->findText(QStringLiteral("SMTP server")));
        QCOMPARE(text(SignInDialog::kScope), QStringLiteral("https://outlook.office.com/SMTP.Send offline_access openid profile"));
        QCOMPARE(dialog.typedSettings().clientId, QString());
        Control<QLineEdit>(dialog, SignInDialog::kClientId)->setText(QStringLiteral("ms-id"));

        provider->setCurrentIndex(1);
        QCOMPARE(text(SignInDialog::kClientId), QString());
        QCOMPARE(text(SignInDialog::kTokenUrl), QStringLiteral("https://oauth2.googleapis.com/token"));
        dialog.signIn();
        QCOMPARE(dialog.status(), QStringLiteral("No client id is set: type the one your administrator registered."));

        // What was typed for a provider comes back with it.
        provider->setCurrentIndex(0);
        QCOMPARE(text(SignInDialog::kClientId), QStringLiteral("ms-id"));

        // The administrator changed the file meanwhile.
        QVERIFY(WriteWholeFile(file, "[SignIn]\nProvider=custom\nClientId=new-id\nAuthorizeUrl=https://idp.example/a2\n"
                                     "TokenUrl=https://idp.example/t2\n"));
        provider->setCurrentIndex(2);
        QCOMPARE(text(SignInDialog::kClientId), QStringLiteral("new-id"));
        QCOMPARE(text(SignInDialog::kTokenUrl), QStringLiteral("https://idp.example/t2"));

        // A file naming a provider this program does not know: said when the
        // dialog opens and at Sign in, and none of its values shown or used.
        StandInBrowser browser(false);
        QVERIFY(WriteWholeFile(file, "[SignIn]\nProvider=yahoo\nClientId=yahoo-id\nAuthorizeUrl=http://127.0.0.1:1/a\n"
                                     "TokenUrl=http://127.0.0.1:1/t\n"));
        const QString refused = QStringLiteral("The sign-in file %1 names the provider \"yahoo\", which this program does not "
                                               "know (microsoft, google or custom): it is not used.")
                                    .arg(file);
        SignInDialog broken(inputs, nullptr);
        QCOMPARE(broken.status(), refused);
        QCOMPARE(Control<QLineEdit>(broken, SignInDialog::kClientId)->text(), QString());
        Control<QLineEdit>(broken, SignInDialog::kClientId)->setText(QStringLiteral("typed-id"));
        broken.signIn();
        QCOMPARE(broken.status(), refused);
        QCOMPARE(browser.opened, 0);
    }

    void signsInAndOutWithThePrivateFile()
    {
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start(), qPrintable(server.error()));
        StandInBrowser browser(true);
        QTemporaryDir data;
        SignInDialog dialog(Inputs(data.path(), &server), nullptr);
        QSignalSpy signedIn(&dialog, &SignInDialog::signedIn);
        QCOMPARE(Control<QComboBox>(dialog, SignInDialog::kProvider)->currentIndex(), 2);
        Control<QCheckBox>(dialog, SignInDialog::kTokenInFile)->setChecked(true);

        QTest::mouseClick(Control<QPushButton>(dialog, SignInDialog::kSignIn), Qt::LeftButton);
        QCOMPARE(dialog.status(), QStringLiteral("Finish signing in in your web browser."));
        QVERIFY(Control<QPushButton>(dialog, SignInDialog::kCancel)->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(dialog.status(), QStringLiteral("Signed in as desk@example.org."), 30000);
        QCOMPARE(signedIn.count(), 1);
        const QByteArray accessToken = signedIn.at(0).at(0).toByteArray();
        QVERIFY(!accessToken.isEmpty());
        QCOMPARE(browser.opened, 1);

        const SignInChoices saved = ReadSignInChoices(SignInChoicesPath(data.path()));
        // The addresses shown are kept: the send refreshes with them.
        SignInChoices expected{QStringLiteral("custom"), QStringLiteral("quorvane-test-client"), {}, true, true,
                               server.url(QStringLiteral("/authorize")), server.url(QStringLiteral("/token")),
                               QStringLiteral("mail offline_access")};
        expected.sendThrough = QStringLiteral("smtp");
        QCOMPARE(saved, expected);
        const QByteArray refreshToken = ReadTokenFile(TokenFilePath(data.path()));
        QVERIFY(refreshToken.startsWith("rt-"));
        // No token in any other file.
        const QByteArray choicesText = ReadWholeFile(SignInChoicesPath(data.path()));
        QVERIFY(!choicesText.contains(refreshToken));
        QVERIFY(!choicesText.contains(accessToken));

        QTest::mouseClick(Control<QPushButton>(dialog, SignInDialog::kSignOut), Qt::LeftButton);
        QCOMPARE(dialog.status(), QStringLiteral("Not signed in."));
        QVERIFY(!QFile::exists(TokenFilePath(data.path())));
        QVERIFY(!ReadSignInChoices(SignInChoicesPath(data.path())).active);
    }

    void problemsShowOnTheStatusLine()
    {
        PythonFixture server(QStringLiteral("oauth_server.py"));
        QVERIFY2(server.start(), qPrintable(server.error()));
        QTemporaryDir data;
        {
            // Signed in at the provider, but no keyring answers: said, not
            // quietly kept in a file.
            StandInBrowser browser(true);
            SignInDialog dialog(Inputs(data.path(), &server), nullptr);
            QSignalSpy signedIn(&dialog, &SignInDialog::signedIn);
            dialog.signIn();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.status().startsWith(QStringLiteral("The desktop keyring could not be used (")), 30000);
            QCOMPARE(signedIn.count(), 0);
            QVERIFY(QDir(data.path()).isEmpty());
            QVERIFY(Control<QPushButton>(dialog, SignInDialog::kSignIn)->isEnabled());
        }
        {
            StandInBrowser browser(false);
            SignInDialog dialog(Inputs(data.path(), &server), nullptr);
            dialog.signIn();
            QCOMPARE(browser.opened, 1);
            QTest::mouseClick(Control<QPushButton>(dialog, SignInDialog::kCancel), Qt::LeftButton);
            QCOMPARE(dialog.status(), QStringLiteral("The sign-in was cancelled."));
            QVERIFY(!Control<QPushButton>(dialog, SignInDialog::kCancel)->isEnabled());

            Control<QLineEdit>(dialog, SignInDialog::kTokenUrl)->clear();
            dialog.signIn();
            // The file's address fills what is left empty here.
            QCOMPARE(browser.opened, 2);
            dialog.cancelSignIn();
            Control<QComboBox>(dialog, SignInDialog::kProvider)->setCurrentIndex(0);
            Control<QLineEdit>(dialog, SignInDialog::kTenant)->setText(QStringLiteral("a/b"));
            dialog.signIn();
            QCOMPARE(dialog.status(), QStringLiteral("The tenant \"a/b\" is not a tenant name or id."));

            // Closed while waiting for the browser: the sign-in ends with it.
            Control<QComboBox>(dialog, SignInDialog::kProvider)->setCurrentIndex(2);
            dialog.signIn();
            QCOMPARE(browser.opened, 3);
            QVERIFY(Control<QPushButton>(dialog, SignInDialog::kCancel)->isEnabled());
            QTest::mouseClick(Control<QPushButton>(dialog, SignInDialog::kClose), Qt::LeftButton);
            QCOMPARE(dialog.status(), QStringLiteral("The sign-in was cancelled."));
        }
        SignInDialogInputs noAccount = Inputs(data.path(), &server);
        noAccount.account = QStringLiteral("  ");
        SignInDialog dialog(noAccount, nullptr);
        dialog.signIn();
        QCOMPARE(dialog.status(), QStringLiteral("Type your address as the Username in Setup first."));
    }
};

QTEST_MAIN(SignInDialogTest)
#include "test_signin_dialog.moc"
