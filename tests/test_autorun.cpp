#include "TestSupport.h"

#include "store/AutoRun.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <sys/stat.h>

// The autostart entry: its presence is the setting.
namespace {

QStringList EntryLines(const QString &appDataFolder)
{
    return QString::fromUtf8(ReadWholeFile(AutoRunEntryPath(appDataFolder))).split(u'\n', Qt::SkipEmptyParts);
}

int Mode(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

} // namespace

class TestAutoRun : public QObject {
    Q_OBJECT
private slots:
    void setClearAndAsk()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/config");
        const QString entry = AutoRunEntryPath(folder);
        QCOMPARE(entry, folder + QStringLiteral("/autostart/quorvane.desktop"));

        QCOMPARE(IsAutoRunSet(folder), false);
        QCOMPARE(ClearAutoRun(folder), false); // nothing to delete

        QCOMPARE(SetAutoRun(folder, QStringLiteral("\"/opt/quorvane/bin/quorvane\"")), true);
        QCOMPARE(IsAutoRunSet(folder), true);
        QCOMPARE(Mode(entry), 0600);
        QVERIFY(EntryLines(folder).contains(QStringLiteral("Type=Application")));
        QVERIFY(EntryLines(folder).contains(QStringLiteral("Name=Quorvane")));

        QCOMPARE(SetAutoRun(folder, QStringLiteral("\"/usr/bin/quorvane\"")), true);
        QVERIFY(EntryLines(folder).contains(QStringLiteral("Exec=\"/usr/bin/quorvane\" --autostart")));

        QCOMPARE(ClearAutoRun(folder), true);
        QVERIFY(!QFileInfo::exists(entry));
        QCOMPARE(IsAutoRunSet(folder), false);
        QCOMPARE(ClearAutoRun(folder), false);
    }

    void execLineQuotesProgramPath_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("execLine");
        // Inside the quotes \ " ` $ take a backslash and % is doubled; then
        // Exec, being an escaped string, doubles each backslash again.
        QTest::newRow("backslash") << "\"/opt/a\\b/quorvane\"" << "Exec=\"/opt/a\\\\\\\\b/quorvane\"";
        QTest::newRow("backtick") << "\"/opt/`id`/quorvane\"" << "Exec=\"/opt/\\\\`id\\\\`/quorvane\"";
        QTest::newRow("percent") << "\"/opt/100%u/quorvane\"" << "Exec=\"/opt/100%%u/quorvane\"";
        QTest::newRow("unicode") << "\"/home/zoë/Programme/quorvane\"" << "Exec=\"/home/zoë/Programme/quorvane\"";
        QTest::newRow("command without quotes") << "/opt/my apps/quorvane" << "Exec=\"/opt/my apps/quorvane\"";
        // A folder name holding a line break must not end the Exec line and
        // slip a key of its own into the entry.
        QTest::newRow("line break") << "\"/opt/x\nHidden=true/quorvane\"" << "Exec=\"/opt/x\\nHidden=true/quorvane\"";
        QTest::newRow("tab") << "\"/opt/x\ty/quorvane\"" << "Exec=\"/opt/x\\ty/quorvane\"";
    }

    void execLineQuotesProgramPath()
    {
        QFETCH(QString, command);
        QFETCH(QString, execLine);
        QTemporaryDir dir;
        QCOMPARE(SetAutoRun(dir.path(), command), true);
        const QStringList lines = EntryLines(dir.path());
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Exec="))), QStringList{execLine + QStringLiteral(" --autostart")});
        QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^Hidden"))).isEmpty());
        QCOMPARE(IsAutoRunSet(dir.path()), true);
        // The desktop reads it by the same rules as the validator does.
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (scripts/install-deps.sh brings it)");
        QProcess validate;
        validate.start(validator, {AutoRunEntryPath(dir.path())});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(QString::fromUtf8(validate.readAllStandardOutput() + validate.readAllStandardError()), QString());
        QCOMPARE(validate.exitCode(), 0);
    }

    void entryStartsAfterThePanel()
    {
        // Plasma starts phase 2 entries last, after its workspace, so the
        // icon usually finds its notification area there from the start.
        QTemporaryDir dir;
        QCOMPARE(SetAutoRun(dir.path(), QStringLiteral("\"/usr/bin/quorvane\"")), true);
        QVERIFY(EntryLines(dir.path()).contains(QStringLiteral("X-KDE-autostart-phase=2")));
    }

    void entryWrittenElsewhere_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("isSet");
        const QByteArray head = "[Desktop Entry]\nType=Application\nName=Quorvane\nExec=/somewhere/else --flag\n";
        QTest::newRow("other command") << head << 1;
        QTest::newRow("empty file") << QByteArray() << 1;
        QTest::newRow("Hidden=true") << head + "Hidden=true\n" << 0;
        QTest::newRow("Hidden = true, blanks") << head + "Hidden = true\n" << 0;
        QTest::newRow("Hidden=false") << head + "Hidden=false\n" << 1;
        QTest::newRow("GNOME switched off") << head + "X-GNOME-Autostart-enabled=false\n" << 0;
        QTest::newRow("GNOME switched on") << head + "X-GNOME-Autostart-enabled=true\n" << 1;
        QTest::newRow("Hidden in a comment") << head + "#Hidden=true\n" << 1;
        QTest::newRow("Hidden in another group") << head + "[Desktop Action quit]\nHidden=true\n" << 1;
        QTest::newRow("CR LF lines") << QByteArray("[Desktop Entry]\r\nExec=x\r\nHidden=true\r\n") << 0;
    }

    void entryWrittenElsewhere()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, isSet);
        QTemporaryDir dir;
        const QString entry = AutoRunEntryPath(dir.path());
        QVERIFY(QDir().mkpath(QFileInfo(entry).absolutePath()));
        QVERIFY(WriteWholeFile(entry, content));

        QCOMPARE(IsAutoRunSet(dir.path()), isSet == 1);

        // Closing Setup with its box ticked sets auto-run only when it is not
        // set: an entry that counts as set keeps its own command, one that the
        // desktop switched off is written afresh.
        if (!IsAutoRunSet(dir.path()))
            QCOMPARE(SetAutoRun(dir.path(), QStringLiteral("\"/opt/quorvane/bin/quorvane\"")), true);
        if (isSet)
            QCOMPARE(ReadWholeFile(entry), content);
        else
            QVERIFY(EntryLines(dir.path()).contains(QStringLiteral("Exec=\"/opt/quorvane/bin/quorvane\" --autostart")));
        QCOMPARE(IsAutoRunSet(dir.path()), true);
    }

    void nothingUsableAtThePath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder at the entry's path") << "folder";
        QTest::newRow("pipe at the entry's path") << "pipe";
        QTest::newRow("file in place of the autostart folder") << "blocked";
    }

    void nothingUsableAtThePath()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString entry = AutoRunEntryPath(dir.path());
        const QString autostart = QFileInfo(entry).absolutePath();
        if (kind == u"blocked") {
            QVERIFY(WriteWholeFile(autostart, "in the way"));
        } else {
            QVERIFY(QDir().mkpath(autostart));
            if (kind == u"folder")
                QVERIFY(QDir().mkdir(entry));
            else
                QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
        }

        QCOMPARE(IsAutoRunSet(dir.path()), false); // and a pipe does not block it
        QCOMPARE(SetAutoRun(dir.path(), QStringLiteral("\"/opt/quorvane/bin/quorvane\"")), kind == u"pipe");
        QCOMPARE(IsAutoRunSet(dir.path()), kind == u"pipe");
        if (kind != u"pipe")
            QCOMPARE(ClearAutoRun(dir.path()), false);
    }
};

QTEST_APPLESS_MAIN(TestAutoRun)
#include "test_autorun.moc"
