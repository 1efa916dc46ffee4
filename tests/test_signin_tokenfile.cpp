#include "SecondUser.h"
#include "TestSupport.h"

#include "signin/RefreshTokenStore.h"
#include "signin/SignInDialog.h"
#include "signin/TokenFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using namespace std::chrono_literals;

// The private token file that keeps the sign-in when the user chose it over
// the keyring, against what someone else on the machine may leave at its
// place: a link, a file of theirs, a file anyone can read.
namespace {

const QString kAccount = QStringLiteral("desk@example.org");
const SignInChoices kInFile{QStringLiteral("google"), QStringLiteral("id"), {}, true, true, {}, {}, {}};

// Whether anything, a dangling link included, is at path.
bool Present(const QString &path)
{
    struct stat entry {};
    return ::lstat(QFile::encodeName(path).constData(), &entry) == 0;
}

} // namespace

class SignInTokenFileTest : public QObject {
    Q_OBJECT

private slots:
    // A link planted where the token file goes: the token is written to a
    // new file in the data folder that takes the link's place, and signing
    // out removes that file; what the link pointed to is never touched.
    void aPlantedLinkIsReplacedNotFollowed_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("to nothing yet") << false;
        QTest::newRow("to a file of ours") << true;
    }
    void aPlantedLinkIsReplacedNotFollowed()
    {
        QFETCH(bool, targetExists);
        QTemporaryDir data;
        QTemporaryDir elsewhere;
        const QString path = TokenFilePath(data.path());
        const QString target = elsewhere.filePath(QStringLiteral("collected"));
        if (targetExists)
            QVERIFY(WriteWholeFile(target, "someone's notes"));
        QVERIFY(QFile::link(target, path));

        QCOMPARE(SaveRefreshToken(kInFile, kAccount, data.path(), "rt-live", 1s), QString());
        const QFileInfo written(path);
        QVERIFY(!written.isSymLink());
        QVERIFY(written.isFile());
        QCOMPARE(written.permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(ReadWholeFile(path), QByteArray("rt-live"));
        QCOMPARE(Present(target), targetExists);
        if (targetExists)
            QCOMPARE(ReadWholeFile(target), QByteArray("someone's notes"));
        // Nothing else is left in the folder.
        QCOMPARE(FolderEntries(data.path()), QStringList{written.fileName()});
        const StoredToken loaded = LoadRefreshToken(kInFile, kAccount, data.path(), 1s);
        QVERIFY2(loaded.ok, qPrintable(loaded.message));
        QCOMPARE(loaded.refreshToken, QByteArray("rt-live"));

        QCOMPARE(ForgetRefreshToken(kInFile, kAccount, data.path(), 1s), QString());
        QVERIFY(!Present(path));

        // Planted again after the sign-in: signing out takes the link away,
        // and nothing it points to.
        QVERIFY(QFile::link(target, path));
        QCOMPARE(ForgetRefreshToken(kInFile, kAccount, data.path(), 1s), QString());
        QVERIFY(!Present(path));
        QCOMPARE(Present(target), targetExists);
    }

    // A token file someone else could have read, or written, is not used: the
    // send and the sign-in dialog's line say so, and signing out removes it.
    void aTokenFileOthersCouldReachIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("readable by everyone") << QStringLiteral("0644") << QStringLiteral("can be read by other users");
        QTest::newRow("readable by the group") << QStringLiteral("0640") << QStringLiteral("can be read by other users");
        QTest::newRow("another user's") << QStringLiteral("foreign") << QStringLiteral("belongs to another user");
        QTest::newRow("a link to a file of ours") << QStringLiteral("link") << QStringLiteral("is a link to another file");
        QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("is not a plain file");
    }
    void aTokenFileOthersCouldReachIsRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        std::unique_ptr<SecondUser> other;
        if (kind == QStringLiteral("foreign")) {
            other = std::make_unique<SecondUser>();
            if (!other->ok())
                QSKIP("needs root to make a second user");
        }
        QTemporaryDir data;
        QTemporaryDir elsewhere;
        const QString path = TokenFilePath(data.path());
        if (kind == QStringLiteral("link")) {
            const QString target = elsewhere.filePath(QStringLiteral("token"));
            QVERIFY(WriteWholeFile(target, "rt-planted"));
            QVERIFY(QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
            QVERIFY(QFile::link(target, path));
        } else if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QVERIFY(WriteWholeFile(path, "rt-planted"));
            const mode_t mode = kind == QStringLiteral("0644") ? 0644 : kind == QStringLiteral("0640") ? 0640 : 0600;
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
            if (other)
                QCOMPARE(::chown(QFile::encodeName(path).constData(), other->uid(), other->gid()), 0);
        }
        const QString message = QStringLiteral("The sign-in file %1 %2, so it is not used: sign in again").arg(path, reason);

        const StoredToken loaded = LoadRefreshToken(kInFile, kAccount, data.path(), 1s);
        QVERIFY(!loaded.ok);
        QCOMPARE(loaded.message, message);
        QVERIFY(loaded.refreshToken.isEmpty());
        QVERIFY(ReadTokenFile(path).isEmpty());

        SignInDialogInputs inputs;
        inputs.account = kAccount;
        inputs.dataFolder = data.path();
        inputs.choices = kInFile;
        inputs.keyringWait = 1s;
        SignInDialog dialog(inputs, nullptr);
        QCOMPARE(dialog.status(), message + u'.');

        if (kind != QStringLiteral("folder")) {
            QCOMPARE(ForgetRefreshToken(kInFile, kAccount, data.path(), 1s), QString());
            QVERIFY(!Present(path));
        }
    }

    // Written by us, 0600: used as it is, whatever the umask.
    void ourOwnFileIsUsed()
    {
        QTemporaryDir data;
        const mode_t before = ::umask(0);
        const bool written = WriteTokenFile(TokenFilePath(data.path()), "rt-ours");
        ::umask(before);
        QVERIFY(written);
        QCOMPARE(QFile(TokenFilePath(data.path())).permissions() & 0x0077, QFileDevice::Permissions());
        const StoredToken loaded = LoadRefreshToken(kInFile, kAccount, data.path(), 1s);
        QVERIFY(loaded.ok);
        QCOMPARE(loaded.refreshToken, QByteArray("rt-ours"));
        SignInDialogInputs inputs;
        inputs.account = kAccount;
        inputs.dataFolder = data.path();
        inputs.choices = kInFile;
        SignInDialog dialog(inputs, nullptr);
        QCOMPARE(dialog.status(), QStringLiteral("Signed in as desk@example.org."));
    }
};

QTEST_MAIN(SignInTokenFileTest)
#include "test_signin_tokenfile.moc"
