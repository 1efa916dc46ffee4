#include "SecondUser.h"
#include "TestSupport.h"

#include "app/AppState.h"
#include "app/SingleInstance.h"
#include "app/Startup.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// One copy per profile, against what is found at the lock's place and
// against another user who takes the name of the show socket first.
namespace {

// Answers every message box while it lives and keeps the title and text of each.
class BoxAnswerer : public QObject {
public:
    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            shown.append(box->windowTitle() + QStringLiteral(": ") + box->text());
            box->accept();
        });
        m_timer.start(20);
    }
    QStringList shown;

private:
    QTimer m_timer;
};

bool Present(const QString &path)
{
    struct stat entry {};
    return ::lstat(QFile::encodeName(path).constData(), &entry) == 0;
}

// Sets or clears an environment variable while it lives.
class EnvironmentValue {
public:
    EnvironmentValue(const char *name, const QByteArray &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    // What is at the lock's place is not a lock file: taken over where no
    // copy of ours can hold it (a link to nothing, an empty folder), else a
    // box that names it and says what to do. Never a silent exit.
    void somethingInTheLocksPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("said");
        QTest::newRow("an empty folder") << QStringLiteral("folder") << true << QString();
        QTest::newRow("a folder with files") << QStringLiteral("full folder") << false
                                             << QStringLiteral("there is a folder with files in it");
        QTest::newRow("a link to nothing") << QStringLiteral("dangling") << true << QString();
        QTest::newRow("a link to a folder") << QStringLiteral("link to folder") << true << QString();
        QTest::newRow("a pipe") << QStringLiteral("pipe") << false << QStringLiteral("there is something that is not a file");
    }
    void somethingInTheLocksPlace()
    {
        QFETCH(QString, kind);
        QFETCH(bool, started);
        QFETCH(QString, said);
        QTemporaryDir profile;
        QTemporaryDir elsewhere;
        const QString folder = profile.path() + QStringLiteral("/Lumarc/quorvane");
        QVERIFY(QDir().mkpath(folder));
        const QString lock = folder + QStringLiteral("/quorvane.lock");
        const QString target = elsewhere.filePath(QStringLiteral("target"));
        if (kind == QStringLiteral("folder")) {
            QVERIFY(QDir().mkdir(lock));
        } else if (kind == QStringLiteral("full folder")) {
            QVERIFY(QDir().mkdir(lock));
            QVERIFY(WriteWholeFile(lock + QStringLiteral("/kept"), "someone's"));
        } else if (kind == QStringLiteral("dangling")) {
            QVERIFY(QFile::link(target, lock));
        } else if (kind == QStringLiteral("link to folder")) {
            QVERIFY(QDir().mkdir(target));
            QVERIFY(QFile::link(target, lock));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
        }

        AppState state;
        BoxAnswerer answerer;
        // No program path: a start that gets past the lock ends at the
        // "Installed path not found" box.
        const int code = RunQuorvane(state, QString(), profile.path());
        QVERIFY2(!answerer.shown.isEmpty(), "ended without a word");
        QCOMPARE(answerer.shown.filter(QStringLiteral("Installed path not found")).size(), started ? 1 : 0);
        if (started) {
            QCOMPARE(code, 0);
            // The lock taken is a file of ours, gone with the program.
            QVERIFY(!Present(lock));
        } else {
            QCOMPARE(code, 1);
            QCOMPARE(answerer.shown.size(), 1);
            const QString box = answerer.shown.first();
            QVERIFY2(box.startsWith(QStringLiteral("Quorvane Cannot Start: ")), qPrintable(box));
            QVERIFY2(box.contains(said), qPrintable(box));
            QVERIFY2(box.contains(lock), qPrintable(box));
            QVERIFY2(box.contains(QStringLiteral("then start Quorvane again")), qPrintable(box));
            QVERIFY(Present(lock));
        }
        // What a link pointed to is never touched.
        QCOMPARE(Present(target), kind == QStringLiteral("link to folder"));
        if (kind == QStringLiteral("full folder"))
            QCOMPARE(ReadWholeFile(lock + QStringLiteral("/kept")), QByteArray("someone's"));
    }

    // Another user binds the predictable abstract name before the program
    // starts: the program still has its show socket, and a second start's
    // "bring forward" reaches it, never the squatter.
    void aSquattedShowSocket_data()
    {
        QTest::addColumn<bool>("privateRuntimeFolder");
        QTest::newRow("no runtime folder") << false;
        QTest::newRow("a private runtime folder") << true;
    }
    void aSquattedShowSocket()
    {
        QFETCH(bool, privateRuntimeFolder);
        SecondUser other;
        if (!other.ok())
            QSKIP("needs root to make a second user");
        QTemporaryDir profile;
        QTemporaryDir runtime;
        QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        EnvironmentValue runtimeFolder("XDG_RUNTIME_DIR", privateRuntimeFolder ? QFile::encodeName(runtime.path()) : QByteArray());

        // The name is as predictable to the other user as it is here.
        const QByteArray name =
            "quorvane-" + QByteArray::number(::geteuid()) + '-' +
            QCryptographicHash::hash(profile.path().toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        QProcess squatter;
        const QByteArray script = ReadWholeFile(QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/socket_squatter.py"));
        const QStringList command = other.asUser(QStringLiteral(QUORVANE_TEST_PYTHON),
                                                 {QStringLiteral("-c"), QString::fromUtf8(script), QString::fromLatin1(name)});
        squatter.start(command.first(), command.mid(1));
        const auto stopSquatter = qScopeGuard([&] {
            squatter.kill();
            squatter.waitForFinished(5000);
        });
        QVERIFY(squatter.waitForReadyRead(10000));
        QVERIFY(squatter.readLine().startsWith("listening"));

        SingleInstance owner(profile.path());
        QCOMPARE(owner.acquire(), SingleInstance::Owner);
        QSignalSpy shown(&owner, &SingleInstance::showRequested);
        SingleInstance second(profile.path());
        QCOMPARE(second.acquire(), SingleInstance::HeldByAnother);
        second.askOwnerToShow();
        QTRY_COMPARE(shown.size(), 1);

        QTest::qWait(300);
        const QByteArray caught = squatter.readAll();
        QVERIFY2(!caught.contains("show"), caught.constData());
        if (privateRuntimeFolder) {
            const QString socket = runtime.filePath(QString::fromLatin1(name) + QStringLiteral(".sock"));
            struct stat entry {};
            QCOMPARE(::lstat(QFile::encodeName(socket).constData(), &entry), 0);
            QVERIFY(S_ISSOCK(entry.st_mode));
            QCOMPARE(entry.st_mode & 0077, 0u);
        }
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "test_singleinstance.moc"
