#include "OAuthTesting.h"
#include "PythonFixture.h"
#include "SmtpTestServer.h"
#include "TestSupport.h"

#include "app/SendErrorDialog.h"
#include "app/TrayController.h"
#include "form/MessageForm.h"
#include "signin/SignInDialog.h"
#include "signin/TokenFile.h"
#include "store/SignInChoices.h"
#include "store/TextField.h"
#include "widgets/DialogTemplate.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

// Sends as the program makes them once signed in: through the tray
// controller, which reads the saved choices, hands the delivery job the
// held access token or the refresh token, and keeps what comes back; against
// the real authorization server (fixtures/oauth_server.py) and an aiosmtpd
// taking XOAUTH2 (fixtures/smtp_xoauth2_server.py).
namespace {

const QString kUser = QStringLiteral("desk@example.org");
const QString kClientId = QStringLiteral("quorvane-test-client");

// A profile whose server is smtp, with the sign-in saved as the way to log
// in; the refresh token in the private file when one is given, else in the
// keyring. No password is stored.
void PrepareProfile(Profile &profile, int smtpPort, const PythonFixture &authorization, const QByteArray &refreshToken)
{
    StoredData &data = profile.data;
    // The libraries where the build puts them, beside this program's folder.
    profile.state.installedPath = QCoreApplication::applicationDirPath() + QStringLiteral("/");
    data.settings.sendAsHtml = 0;
    WriteTextField(data.settings.smtpServer, QStringLiteral("127.0.0.1"));
    data.activeSmtpServer = QStringLiteral("127.0.0.1");
    data.settings.smtpPort = smtpPort;
    WriteTextField(data.settings.smtpUserName, kUser);
    WriteTextField(data.settings.senderAddress, kUser);
    SignInChoices choices;
    choices.provider = QStringLiteral("custom");
    choices.clientId = kClientId;
    choices.active = true;
    choices.tokenInFile = !refreshToken.isEmpty();
    choices.authorizeUrl = authorization.url(QStringLiteral("/authorize"));
    choices.tokenUrl = authorization.url(QStringLiteral("/token"));
    choices.scope = QStringLiteral("mail offline_access");
    QVERIFY(WriteSignInChoices(SignInChoicesPath(profile.folder()), choices));
    if (!refreshToken.isEmpty())
        QVERIFY(WriteTokenFile(TokenFilePath(profile.folder()), refreshToken));
}

// One Send, as the form hands it over; the reason the send-error dialog
// gave, empty when the mail went out. The form a failure reopens with the
// message is closed again.
QString SendAndGetReason(TrayController &controller, const QString &subject)
{
    OutgoingMessage message;
    message.toList = QStringLiteral("ann@example.org");
    message.subject = subject;
    message.textBody = QStringLiteral("Please call back.\r\n");
    QString reason;
    bool failed = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *error = qobject_cast<SendErrorDialog *>(modal)) {
            failed = true;
            reason = ControlById<QLabel>(error, SendErrorControl::kDetail)->text();
            error->accept();
        } else if (auto *form = qobject_cast<MessageForm *>(modal)) {
            form->reject();
        }
    });
    closer.start(10);
    controller.sendMessage(FormSnapshot{}, message);
    return failed ? (reason.isEmpty() ? QStringLiteral("(no reason)") : reason) : QString();
}

} // namespace

class SignInSendTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Never the keyring of whoever runs the tests.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quorvane-test-bus");
    }

    void sendsHoldTheTokenAndSayWhenTheSignInIsOver()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start({QStringLiteral("--lifetime"), QStringLiteral("600")}), qPrintable(authorization.error()));
        SmtpTestServer smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(smtp.start({QStringLiteral("--introspect"), authorization.url(QStringLiteral("/introspect"))}),
                 qPrintable(smtp.error()));
        const TokenResult tokens = SignInAtOnce(authorization, kUser);
        QVERIFY(!tokens.refreshToken.isEmpty());
        Profile profile(Profile::Unsaved);
        PrepareProfile(profile, smtp.port(), authorization, tokens.refreshToken);
        const qsizetype signInRequests = authorization.events(QStringLiteral("token")).size();

        TrayController controller(profile.state);
        // The first send after start gets an access token with the stored
        // refresh token; the next one sends with the token held since.
        QCOMPARE(SendAndGetReason(controller, QStringLiteral("first")), QString());
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        QCOMPARE(SendAndGetReason(controller, QStringLiteral("second")), QString());
        QCOMPARE(authorization.events(QStringLiteral("token")).size(), signInRequests + 1);
        QCOMPARE(smtp.messages().size(), 2);
        for (const QJsonObject &attempt : smtp.events(QStringLiteral("auth"))) {
            QCOMPARE(attempt.value(QStringLiteral("mechanism")).toString(), QStringLiteral("XOAUTH2"));
            QCOMPARE(attempt.value(QStringLiteral("login")).toString(), kUser);
        }

        // Revoked at the provider: the mail server refuses the held token,
        // the send asks for a new one and is told the sign-in is over.
        QVERIFY(RevokeAtProvider(authorization, tokens.refreshToken));
        QCOMPARE(SendAndGetReason(controller, QStringLiteral("third")),
                 QStringLiteral("The sign-in has expired: sign in again in Setup"));
        QCOMPARE(SendAndGetReason(controller, QStringLiteral("fourth")),
                 QStringLiteral("The sign-in has expired: sign in again in Setup"));
        QCOMPARE(smtp.messages().size(), 2);

        // The sign-in dialog no longer says "Signed in as".
        const SignInChoices saved = ReadSignInChoices(SignInChoicesPath(profile.folder()));
        QVERIFY(saved.active);
        QVERIFY(saved.expired);
        SignInDialogInputs inputs;
        inputs.account = kUser;
        inputs.dataFolder = profile.folder();
        inputs.choices = saved;
        const SignInDialog dialog(inputs, nullptr);
        QCOMPARE(dialog.status(), QStringLiteral("The sign-in of desk@example.org is no longer valid: sign in again."));
    }

    // No refresh token left where the sign-in was kept: over as well.
    void aMissingRefreshTokenEndsTheSignIn()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start(), qPrintable(authorization.error()));
        Profile profile(Profile::Unsaved);
        PrepareProfile(profile, UnusedPort(), authorization, "rt-gone");
        QVERIFY(RemoveTokenFile(TokenFilePath(profile.folder())));
        TrayController controller(profile.state);
        QCOMPARE(SendAndGetReason(controller, QStringLiteral("gone")), QStringLiteral("The sign-in has expired: sign in again in Setup"));
        QVERIFY(ReadSignInChoices(SignInChoicesPath(profile.folder())).expired);
    }

    // The refresh token is in the keyring, and there is none to ask: the send
    // fails at once with the reason, and nothing goes to the mail server.
    void noKeyringFailsTheSendWithTheReason()
    {
        PythonFixture authorization(QStringLiteral("oauth_server.py"));
        QVERIFY2(authorization.start(), qPrintable(authorization.error()));
        SmtpTestServer smtp(QStringLiteral("smtp_xoauth2_server.py"));
        QVERIFY2(smtp.start({QStringLiteral("--introspect"), authorization.url(QStringLiteral("/introspect"))}),
                 qPrintable(smtp.error()));
        Profile profile(Profile::Unsaved);
        PrepareProfile(profile, smtp.port(), authorization, QByteArray());
        TrayController controller(profile.state);
        QElapsedTimer clock;
        clock.start();
        const QString reason = SendAndGetReason(controller, QStringLiteral("no keyring"));
        QVERIFY2(reason.startsWith(QStringLiteral("The desktop keyring could not be used")), qPrintable(reason));
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(smtp.events(QStringLiteral("auth")).isEmpty());
        QVERIFY(smtp.messages().isEmpty());
        QVERIFY(authorization.events(QStringLiteral("token")).isEmpty());
    }
};

QTEST_MAIN(SignInSendTest)
#include "test_signin_send.moc"
