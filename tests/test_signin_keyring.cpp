#include "OAuthTesting.h"
#include "PythonFixture.h"
#include "SmtpTestServer.h"

#include "mail/TokenEndpoint.h"
#include "signin/KeyringStore.h"
#include "signin/RefreshTokenStore.h"
#include "signin/SignOut.h"
#include "signin/TokenFile.h"

#include <QDirIterator>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

using namespace std::chrono_literals;

// Where the refresh token lives: the desktop keyring through the Secret
// Service. CTest runs this suite three times (QUORVANE_TEST_KEYRING):
//   real    inside a private session bus with an unlocked GNOME Keyring and a
//           throw-away HOME (fixtures/with_keyring.sh)
//   none    with a session bus address that leads nowhere
//   silent  with a session bus that takes the connection and never answers
// Each case runs in the setting it is about and is skipped in the others.
namespace {

QString Mode()
{
    const QString mode = qEnvironmentVariable("QUORVANE_TEST_KEYRING");
    return mode.isEmpty() ? QStringLiteral("none") : mode;
}

// Not text: a token is bytes, and the keyring must give back the same bytes.
const QByteArray kToken = QByteArray("rt-\x01\xc3\xa9-") + QByteArray(600, 'x') + QByteArray("-end");

// Whether a keyring serves the session bus now.
bool KeyringOnTheBus()
{
    QProcess ask;
    ask.start(QStringLiteral("gdbus"), {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("-d"),
                                        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("-o"), QStringLiteral("/org/freedesktop/DBus"),
                                        QStringLiteral("-m"), QStringLiteral("org.freedesktop.DBus.NameHasOwner"),
                                        QStringLiteral("org.freedesktop.secrets")});
    return ask.waitForFinished(10000) && ask.readAllStandardOutput().contains("true");
}

} // namespace

class SignInKeyringTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (Mode() == QStringLiteral("silent")) {
            // Set before anything in this process has opened the bus.
            QVERIFY(m_folder.isValid());
            m_silentBus.setSocketOptions(QLocalServer::UserAccessOption);
            QVERIFY(m_silentBus.listen(m_folder.filePath(QStringLiteral("bus"))));
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(m_silentBus.fullServerName()));
        }
        if (Mode() == QStringLiteral("none"))
            QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains(QStringLiteral("/nonexistent/")));
    }

    void keepsTheTokenInTheKeyring()
    {
        if (Mode() != QStringLiteral("real"))
            QSKIP("needs the real keyring (test_signin_keyring_real)");
        const QString key = RefreshTokenKey(QStringLiteral("Microsoft"), QStringLiteral(" desk@example.org "));
        QCOMPARE(key, QStringLiteral("sign-in microsoft desk@example.org"));
        KeyringResult result = WriteKeyringSecret(key, "rt-older");
        QCOMPARE(result.status, KeyringStatus::Ok);
        result = WriteKeyringSecret(key, kToken);
        QVERIFY2(result.status == KeyringStatus::Ok, qPrintable(result.message));
        result = ReadKeyringSecret(key);
        QCOMPARE(result.status, KeyringStatus::Ok);
        QCOMPARE(result.secret, kToken);
        QVERIFY(result.message.isEmpty());

        // Another account's sign-in is another entry.
        QCOMPARE(ReadKeyringSecret(RefreshTokenKey(QStringLiteral("microsoft"), QStringLiteral("other@example.org"))).status,
                 KeyringStatus::NotFound);

        // It is the Secret Service that holds it, as any other of its clients sees it.
        QProcess lookup;
        lookup.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Quorvane"),
                                                     QStringLiteral("user"), key});
        QVERIFY(lookup.waitForFinished(20000));
        QCOMPARE(QByteArray::fromBase64(lookup.readAllStandardOutput().trimmed()), kToken);

        // And nowhere in the clear under HOME (the keyring's files included).
        QDirIterator files(qEnvironmentVariable("HOME"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly))
                QVERIFY2(!file.readAll().contains(QByteArray(300, 'x')), qPrintable(file.fileName()));
        }

        QCOMPARE(DeleteKeyringSecret(key).status, KeyringStatus::Ok);
        QCOMPARE(ReadKeyringSecret(key).status, KeyringStatus::NotFound);
        QCOMPARE(DeleteKeyringSecret(key).status, KeyringStatus::Ok);
    }

    void noKeyringIsSaidPlainly()
    {
        if (Mode() != QStringLiteral("none"))
            QSKIP("needs a session without a bus (test_signin_keyring)");
        const QString key = RefreshTokenKey(QStringLiteral("google"), QStringLiteral("desk@example.org"));
        for (const KeyringResult &result : {ReadKeyringSecret(key, 20s), WriteKeyringSecret(key, kToken, 20s),
                                            DeleteKeyringSecret(key, 20s)}) {
            QCOMPARE(result.status, KeyringStatus::Unavailable);
            QVERIFY2(result.message.startsWith(QStringLiteral("The desktop keyring could not be used (")), qPrintable(result.message));
            QVERIFY(result.message.endsWith(QStringLiteral("or keep the sign-in in a private file instead")));
            QVERIFY(result.secret.isEmpty());
        }
    }

    void aSilentKeyringEndsTheWait()
    {
        if (Mode() != QStringLiteral("silent"))
            QSKIP("needs a bus that never answers (test_signin_keyring_silent)");
        const QString key = RefreshTokenKey(QStringLiteral("google"), QStringLiteral("desk@example.org"));
        KeyringResult result = ReadKeyringSecret(key, 2s);
        QCOMPARE(result.status, KeyringStatus::TimedOut);
        QCOMPARE(result.message, QStringLiteral("The desktop keyring did not answer within 2 seconds. It may be locked and "
                                                "waiting for its password, or not running"));
        // The next call, queued behind the stuck one, is bounded as well.
        result = WriteKeyringSecret(key, kToken, 1s);
        QCOMPARE(result.status, KeyringStatus::TimedOut);
    }

    // The user's choice decides: the keyring, or the private file only when
    // chosen; saving to one leaves nothing in the other.
    void theChoiceDecidesWhereItLives()
    {
        if (Mode() != QStringLiteral("real"))
            QSKIP("needs the real keyring (test_signin_keyring_real)");
        QTemporaryDir data;
        const QString account = QStringLiteral("desk@example.org");
        SignInChoices choices{QStringLiteral("google"), QStringLiteral("id"), {}, true, true, {}, {}, {}};
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), "rt-in-file", 10s), QString());
        QCOMPARE(ReadTokenFile(TokenFilePath(data.path())), QByteArray("rt-in-file"));
        QCOMPARE(ReadKeyringSecret(RefreshTokenKey(choices.provider, account)).status, KeyringStatus::NotFound);

        choices.tokenInFile = false;
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), kToken, 10s), QString());
        QVERIFY(!QFile::exists(TokenFilePath(data.path())));
        StoredToken loaded = LoadRefreshToken(choices, account, data.path(), 10s);
        QVERIFY(loaded.ok);
        QCOMPARE(loaded.refreshToken, kToken);

        QCOMPARE(ForgetRefreshToken(choices, account, data.path(), 10s), QString());
        loaded = LoadRefreshToken(choices, account, data.path(), 10s);
        QVERIFY(loaded.ok);
        QVERIFY(loaded.refreshToken.isEmpty());
    }

    // Signed in with one provider, then another: Sign out removes every
    // token kept for the account, and revokes it where the provider offers
    // that (RFC 7009), not only the last provider's.
    void signingOutLeavesNoTokenBehind()
    {
        if (Mode() != QStringLiteral("real"))
            QSKIP("needs the real keyring (test_signin_keyring_real)");
        PythonFixture provider(QStringLiteral("oauth_server.py"));
        QVERIFY2(provider.start(), qPrintable(provider.error()));
        const QString account = QStringLiteral("desk@example.org");
        const TokenResult custom = SignInAtOnce(provider, account);
        QVERIFY(!custom.refreshToken.isEmpty());
        QTemporaryDir data;
        SignInChoices choices{QStringLiteral("custom"), QStringLiteral("quorvane-test-client"), {}, true, false,
                              provider.url(QStringLiteral("/authorize")), provider.url(QStringLiteral("/token")), {}};
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), custom.refreshToken, 10s), QString());
        // Then Microsoft, which has no revocation endpoint, and the private file of an earlier choice.
        choices.provider = QStringLiteral("microsoft");
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), "rt-microsoft", 10s), QString());
        QVERIFY(WriteTokenFile(TokenFilePath(data.path()), "rt-in-file"));
        // Another account's sign-in is not this one's to remove.
        QCOMPARE(WriteKeyringSecret(RefreshTokenKey(QStringLiteral("custom"), QStringLiteral("other@example.org")), "rt-other").status,
                 KeyringStatus::Ok);

        SignInSettings deployed;
        deployed.provider = QStringLiteral("custom");
        deployed.revocationUrl = provider.url(QStringLiteral("/revoke"));
        const SignOutResult out = SignOutEverywhere(choices, account, data.path(), deployed, 10s);
        QCOMPARE(out.message, QString());
        QVERIFY(out.removed);
        for (const char *name : {"microsoft", "google", "custom"})
            QCOMPARE(ReadKeyringSecret(RefreshTokenKey(QLatin1String(name), account)).status, KeyringStatus::NotFound);
        QVERIFY(!QFile::exists(TokenFilePath(data.path())));
        QCOMPARE(ReadKeyringSecret(RefreshTokenKey(QStringLiteral("custom"), QStringLiteral("other@example.org"))).secret,
                 QByteArray("rt-other"));
        // Revoked at the provider: the refresh token is good for nothing now.
        const QList<QJsonObject> revoked = provider.events(QStringLiteral("revoke"));
        QCOMPARE(revoked.size(), 1);
        QVERIFY(revoked.at(0).value(QStringLiteral("ok")).toBool());
        const TokenResult refreshed = RefreshAccessToken(
            {QUrl(provider.url(QStringLiteral("/token"))), QStringLiteral("quorvane-test-client"), {}, {}, custom.refreshToken});
        QCOMPARE(refreshed.failure, TokenFailure::InvalidGrant);

        // A provider out of reach: signed out here all the same, and said.
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), "rt-again", 10s), QString());
        choices.provider = QStringLiteral("custom");
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), "rt-custom", 10s), QString());
        deployed.revocationUrl = QStringLiteral("http://127.0.0.1:%1/revoke").arg(UnusedPort());
        const SignOutResult unreachable = SignOutEverywhere(choices, account, data.path(), deployed, 10s);
        QVERIFY(unreachable.removed);
        QVERIFY2(unreachable.message.startsWith(QStringLiteral("Signed out here, but the provider could not be told: ")),
                 qPrintable(unreachable.message));
        for (const char *name : {"microsoft", "google", "custom"})
            QCOMPARE(ReadKeyringSecret(RefreshTokenKey(QLatin1String(name), account)).status, KeyringStatus::NotFound);
        QCOMPARE(DeleteKeyringSecret(RefreshTokenKey(QStringLiteral("custom"), QStringLiteral("other@example.org"))).status,
                 KeyringStatus::Ok);
    }

    void withoutAKeyringOnlyTheChosenFileKeepsIt()
    {
        if (Mode() != QStringLiteral("none"))
            QSKIP("needs a session without a bus (test_signin_keyring)");
        QTemporaryDir data;
        const QString account = QStringLiteral("desk@example.org");
        SignInChoices choices{QStringLiteral("microsoft"), QStringLiteral("id"), {}, true, false, {}, {}, {}};
        const QString failure = SaveRefreshToken(choices, account, data.path(), kToken, 10s);
        QVERIFY(failure.startsWith(QStringLiteral("The desktop keyring could not be used (")));
        // Not quietly put in a file instead.
        QVERIFY(QDir(data.path()).isEmpty());
        const StoredToken loaded = LoadRefreshToken(choices, account, data.path(), 10s);
        QVERIFY(!loaded.ok);
        QCOMPARE(loaded.message, failure);

        choices.tokenInFile = true;
        QCOMPARE(SaveRefreshToken(choices, account, data.path(), kToken, 10s), QString());
        QCOMPARE(LoadRefreshToken(choices, account, data.path(), 10s).refreshToken, kToken);
        QCOMPARE(ForgetRefreshToken(choices, account, data.path(), 10s), QString());
        QVERIFY(!QFile::exists(TokenFilePath(data.path())));
    }

    // The keyring daemon stopped and started again while the program runs
    // (an update, a crash, a new login): the session the keychain library
    // had is gone, and the next read, write and delete must still work.
    // Last: the daemon the test starts serves to the end.
    void aRestartedKeyringIsAskedAgain()
    {
        if (Mode() != QStringLiteral("real"))
            QSKIP("needs the real keyring (test_signin_keyring_real)");
        const pid_t daemon = pid_t(qEnvironmentVariable("QUORVANE_TEST_KEYRING_PID").toLongLong());
        QVERIFY(daemon > 0);
        const QString key = RefreshTokenKey(QStringLiteral("google"), QStringLiteral("desk@example.org"));
        QCOMPARE(WriteKeyringSecret(key, kToken).status, KeyringStatus::Ok);
        QCOMPARE(ReadKeyringSecret(key).secret, kToken);

        // Only the daemon this test's script started, by its id.
        QCOMPARE(::kill(daemon, SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!KeyringOnTheBus(), 10000);
        QProcess keyring;
        keyring.start(QStringLiteral("gnome-keyring-daemon"),
                      {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        QVERIFY(keyring.waitForStarted());
        keyring.write("throw-away");
        keyring.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(KeyringOnTheBus(), 10000);

        const KeyringResult read = ReadKeyringSecret(key);
        QVERIFY2(read.status == KeyringStatus::Ok, qPrintable(read.message));
        QCOMPARE(read.secret, kToken);
        const KeyringResult written = WriteKeyringSecret(key, "rt-after-restart");
        QVERIFY2(written.status == KeyringStatus::Ok, qPrintable(written.message));
        QCOMPARE(DeleteKeyringSecret(key).status, KeyringStatus::Ok);
        keyring.terminate();
        QVERIFY(keyring.waitForFinished(10000));
    }

private:
    QTemporaryDir m_folder;
    QLocalServer m_silentBus;
};

QTEST_GUILESS_MAIN(SignInKeyringTest)
#include "test_signin_keyring.moc"
