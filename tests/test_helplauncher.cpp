#include "TestSupport.h"

#include "app/AppState.h"
#include "app/HelpLauncher.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

class TestHelpLauncher : public QObject {
    Q_OBJECT
private slots:
    void opensTheDocumentFromTheBuildTree()
    {
        // The program is built into <build>/bin/, the document copied to
        // <build>/share/quorvane/.
        const QString path = HelpDocumentPath(QStringLiteral(QUORVANE_BINARY_DIR "/bin/"));
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        QCOMPARE(path, QDir::cleanPath(QStringLiteral(QUORVANE_BINARY_DIR "/share/quorvane/quorvane.html")));

        UrlRecorder browser(QStringLiteral("file"));
        AppState state;
        QCOMPARE(LaunchHelp(state, path), true);
        QCOMPARE(browser.opened, QList<QUrl>{QUrl::fromLocalFile(path)});
        QCOMPARE(state.helpUnavailable, false);
        QCOMPARE(LaunchHelp(state, path), true);
        QCOMPARE(browser.opened.size(), 2);
    }

    void findsTheDocumentInAnInstalledPrefix()
    {
        const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
        if (cmake.isEmpty())
            QSKIP("cmake is needed to install the help document");
        QTemporaryDir prefix;
        QProcess install;
        install.start(cmake, {QStringLiteral("--install"), QStringLiteral(QUORVANE_BINARY_DIR), QStringLiteral("--prefix"),
                              prefix.path(), QStringLiteral("--component"), QStringLiteral("help")});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());

        const QString path = HelpDocumentPath(prefix.path() + QStringLiteral("/bin"));
        QCOMPARE(path, prefix.path() + QStringLiteral("/share/quorvane/quorvane.html"));
        QCOMPARE(ReadWholeFile(path), ReadWholeFile(QStringLiteral(QUORVANE_TEST_DATA_DIR "/../resources/help/quorvane.html")));

        UrlRecorder browser(QStringLiteral("file"));
        AppState state;
        QCOMPARE(LaunchHelp(state, path), true);
        QCOMPARE(browser.opened, QList<QUrl>{QUrl::fromLocalFile(path)});
    }

    void failureLatches_data()
    {
        QTest::addColumn<bool>("documentMissing");
        QTest::newRow("missing document") << true;
        QTest::newRow("no browser can be started") << false;
    }

    void failureLatches()
    {
        QFETCH(bool, documentMissing);
        if (!documentMissing && QGuiApplication::platformName() != QLatin1String("offscreen"))
            QSKIP("needs a platform that cannot open documents");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quorvane.html"));
        if (!documentMissing)
            QVERIFY(WriteWholeFile(path, "<html></html>"));

        AppState state;
        QCOMPARE(LaunchHelp(state, path), false);
        QCOMPARE(state.helpUnavailable, true);

        // Everything is in order now, but help stays off for this run: later
        // calls return at once without asking for anything.
        QVERIFY(WriteWholeFile(path, "<html></html>"));
        UrlRecorder browser(QStringLiteral("file"));
        QCOMPARE(LaunchHelp(state, path), false);
        QVERIFY(browser.opened.isEmpty());
    }
};

QTEST_MAIN(TestHelpLauncher)
#include "test_helplauncher.moc"
