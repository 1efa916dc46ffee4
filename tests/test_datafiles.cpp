#include "TestSupport.h"

#include "store/StoredData.h"
#include "store/AutoRun.h"
#include "store/DataFiles.h"
#include "store/InvertText.h"
#include "store/RecordBytes.h"
#include "store/TextField.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// Loading, creating and saving the two data files, on real files in a
// temporary profile.
namespace {

const QString kCaption = QStringLiteral("Quorvane");
const QString kProblemAccessing = QStringLiteral("Problem accessing settings data file - Please re-install Quorvane");

QString CannotCreate(const QString &path)
{
    return QStringLiteral("Cannot create Quorvane Data File - ") + path +
           QStringLiteral("\nPlease check that you have 'write' access to this folder");
}

QByteArray DefaultSettingsImage()
{
    QByteArray image(sizeof(SettingsRecord), '\0');
    image[492] = 1;  // sendAsHtml
    image[760] = 25; // smtpPort
    return image;
}

// The records as they lie in memory; this host is little-endian, so that is
// also their file image before any tidying.
QByteArray RawBytes(const SettingsRecord &r)
{
    return QByteArray(reinterpret_cast<const char *>(&r), sizeof r);
}

QByteArray RawBytes(const RecipientTable &t)
{
    return QByteArray(reinterpret_cast<const char *>(&t), sizeof t);
}

int Mode(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

QByteArray RandomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &b : bytes)
        b = static_cast<char>(random.bounded(256));
    return bytes;
}

QStringList EntryLines(const QString &appDataFolder)
{
    return QString::fromUtf8(ReadWholeFile(AutoRunEntryPath(appDataFolder))).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

class TestDataFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The usual umask: with it a file or folder left to the defaults
        // would come out readable by others.
        ::umask(022);
    }

    void firstRunCreatesFoldersFilesAndAutoRun_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("execLine");
        QTest::newRow("plain path") << "\"/opt/quorvane/bin/quorvane\"" << "Exec=\"/opt/quorvane/bin/quorvane\"";
        QTest::newRow("blank in path") << "\"/home/jo/My Programs/bin/quorvane\""
                                       << "Exec=\"/home/jo/My Programs/bin/quorvane\"";
        QTest::newRow("double quote in path") << "\"/opt/say \"hi\"/quorvane\""
                                              << "Exec=\"/opt/say \\\\\"hi\\\\\"/quorvane\"";
        QTest::newRow("dollar in path") << "\"/opt/$HOME/quorvane\"" << "Exec=\"/opt/\\\\$HOME/quorvane\"";
    }

    void firstRunCreatesFoldersFilesAndAutoRun()
    {
        QFETCH(QString, command);
        QFETCH(QString, execLine);
        Profile p(Profile::Nothing);
        p.data.autoRunCommand = command;

        LoadDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        const QString lumarc = p.data.appDataFolder + QStringLiteral("/Lumarc");
        QCOMPARE(Mode(lumarc), 0700);
        QCOMPARE(Mode(p.folder()), 0700);
        QCOMPARE(ReadWholeFile(p.data.settingsPath), DefaultSettingsImage());
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), QByteArray(sizeof(RecipientTable), '\0'));
        QCOMPARE(Mode(p.data.settingsPath), 0600);
        QCOMPARE(Mode(p.data.recipientsPath), 0600);
        QCOMPARE(RawBytes(p.data.settings), DefaultSettingsImage());
        QCOMPARE(p.data.activeSendAsHtml, 1);
        QCOMPARE(p.data.activeSmtpServer, QString());

        QCOMPARE(IsAutoRunSet(p.data.appDataFolder), true);
        const QStringList lines = EntryLines(p.data.appDataFolder);
        QVERIFY(lines.contains(QStringLiteral("[Desktop Entry]")));
        QVERIFY(lines.contains(QStringLiteral("Type=Application")));
        QVERIFY(lines.contains(QStringLiteral("Name=Quorvane")));
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Exec="))), QStringList{execLine + QStringLiteral(" --autostart")});
    }

    void settingsPresentRecipientsMissing()
    {
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        SettingsRecord mine;
        WriteTextField(mine.smtpServer, QStringLiteral("mail.example.org"));
        mine.smtpPort = 587;
        mine.useAuthentication = 1;
        const QByteArray image = SettingsToBytes(mine);
        QVERIFY(WriteWholeFile(p.data.settingsPath, image));
        QCOMPARE(Mode(p.data.settingsPath), 0644);

        LoadDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(ReadWholeFile(p.data.settingsPath), image);
        QCOMPARE(Mode(p.data.settingsPath), 0600); // rewritten, owner only
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), QByteArray(sizeof(RecipientTable), '\0'));
        QCOMPARE(Mode(p.data.recipientsPath), 0600);
        QCOMPARE(p.data.settings.smtpPort, 587);
        QCOMPARE(p.data.activeSmtpServer, QStringLiteral("mail.example.org"));
        QCOMPARE(p.data.activeSendAsHtml, 0);
        // The folder was there: not a first run, auto-run left alone.
        QVERIFY(!QFileInfo::exists(AutoRunEntryPath(p.data.appDataFolder)));
    }

    void settingsMissingRecipientsKept()
    {
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        // Any bytes at all, tails after terminators included, must survive.
        const QByteArray recipients = RandomBytes(sizeof(RecipientTable), 7);
        QVERIFY(WriteWholeFile(p.data.recipientsPath, recipients));

        LoadDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), recipients);
        QCOMPARE(RawBytes(p.data.recipients), recipients);
        QCOMPARE(ReadWholeFile(p.data.settingsPath), DefaultSettingsImage());
        QCOMPARE(RawBytes(p.data.settings), DefaultSettingsImage());
        QVERIFY(!QFileInfo::exists(AutoRunEntryPath(p.data.appDataFolder)));
    }

    void shortSettingsFileFillsLeadingBytes()
    {
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        QVERIFY(WriteWholeFile(p.data.settingsPath, QByteArray(100, 'x')));
        QVERIFY(WriteWholeFile(p.data.recipientsPath, QByteArray(sizeof(RecipientTable), '\0')));

        LoadDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(ReadTextField(p.data.settings.smtpServer), QString(100, u'x'));
        QCOMPARE(p.data.settings.smtpPort, 0);
        QCOMPARE(p.data.settings.sendAsHtml, 0);
        QCOMPARE(ReadWholeFile(p.data.settingsPath).size(), 100); // loading writes nothing

        SaveDataFiles(p.data);
        QByteArray expected(sizeof(SettingsRecord), '\0');
        expected.replace(0, 100, QByteArray(100, 'x'));
        QCOMPARE(ReadWholeFile(p.data.settingsPath), expected);
    }

    void damagedFilesLoadBounded_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("recipients");
        QTest::newRow("all 0xFF") << QByteArray(sizeof(SettingsRecord), '\xff')
                                  << QByteArray(sizeof(RecipientTable), '\xff');
        QTest::newRow("no zero byte at all") << QByteArray(sizeof(SettingsRecord), 'q')
                                             << QByteArray(sizeof(RecipientTable), 'r');
        QTest::newRow("random") << RandomBytes(sizeof(SettingsRecord), 1) << RandomBytes(sizeof(RecipientTable), 2);
        QTest::newRow("over-long, no zero") << QByteArray(5000, 'q') << QByteArray(9000, 'r');
        QTest::newRow("over-long random") << RandomBytes(65536, 3) << RandomBytes(65536, 4);
    }

    void damagedFilesLoadBounded()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, recipients);
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        QVERIFY(WriteWholeFile(p.data.settingsPath, settings));
        QVERIFY(WriteWholeFile(p.data.recipientsPath, recipients));

        LoadDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(RawBytes(p.data.settings), settings.left(sizeof(SettingsRecord)));
        QCOMPARE(RawBytes(p.data.recipients), recipients.left(sizeof(RecipientTable)));
        QCOMPARE(ReadWholeFile(p.data.settingsPath), settings); // loading writes nothing

        // Every field reads back inside its width, whatever it holds.
        const SettingsRecord &s = p.data.settings;
        QVERIFY(p.data.activeSmtpServer.size() <= 128);
        for (const QString &text : {ReadTextField(s.smtpServer), ReadTextField(s.senderName),
                                    ReadTextField(s.senderAddress), ReadTextField(s.smtpUserName)})
            QVERIFY(text.size() <= 128);
        QVERIFY(ReadTextField(s.customMessage1).size() <= 32);
        QVERIFY(ReadTextField(s.customMessage2).size() <= 64);
        for (const RecipientEntry &entry : p.data.recipients.entries) {
            QVERIFY(ReadTextField(entry.name).size() <= 48);
            QVERIFY(ReadTextField(entry.address).size() <= 128);
        }
        std::array<char, 128> clear{};
        InvertText(s.smtpPassword, clear);
        QVERIFY(std::memchr(clear.data(), 0, clear.size()));

        SaveDataFiles(p.data);
        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(ReadWholeFile(p.data.settingsPath).size(), qsizetype(sizeof(SettingsRecord)));
        QCOMPARE(ReadWholeFile(p.data.recipientsPath).size(), qsizetype(sizeof(RecipientTable)));
    }

    void passwordStoredInverted_data()
    {
        QTest::addColumn<QByteArray>("clear");
        QTest::addColumn<QByteArray>("stored");   // the field's leading bytes; the rest is zero
        QTest::addColumn<QByteArray>("recovered");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("\x9e\x9d\x9c\x00", 4) << QByteArray("abc");
        QTest::newRow("255 ends it") << QByteArray("ab\xff" "cd") << QByteArray("\x9e\x9d\x00", 3) << QByteArray("ab");
        QTest::newRow("127 bytes") << QByteArray(127, 'p') << QByteArray(127, '\x8f') << QByteArray(127, 'p');
    }

    void passwordStoredInverted()
    {
        QFETCH(QByteArray, clear);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, recovered);
        Profile p(Profile::Nothing);
        LoadDataFiles(p.data);
        // An older, longer password first: none of it may stay in the file.
        std::array<char, 128> scratch{};
        std::memset(scratch.data(), 'z', 127);
        InvertText(scratch, p.data.settings.smtpPassword);
        SaveDataFiles(p.data);

        scratch.fill(0);
        std::memcpy(scratch.data(), clear.constData(), clear.size());
        InvertText(scratch, p.data.settings.smtpPassword);
        SaveDataFiles(p.data);

        QByteArray field(128, '\0');
        field.replace(0, stored.size(), stored);
        QCOMPARE(ReadWholeFile(p.data.settingsPath).mid(632, 128), field);

        StoredData again;
        PointDataAt(again, p.data.appDataFolder);
        LoadDataFiles(again);
        scratch.fill(0);
        InvertText(again.settings.smtpPassword, scratch);
        QCOMPARE(QByteArray(scratch.data()), recovered);
    }

    void tailsAfterTerminatorsAreNotWritten()
    {
        // A file from an install whose writers left older values behind the
        // terminator: a previous password, a previous name.
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        QByteArray settings = DefaultSettingsImage();
        settings.replace(632, 14, QByteArray("\x9e\x9d\x9c\x00" "\x90\x93\x9b\x8c\x9a\x9c\x8d\x9a\x8b\x00", 14));
        settings.replace(0, 20, QByteArray("mx.example\0old.host", 20));
        QByteArray recipients(sizeof(RecipientTable), '\0');
        recipients.replace(176 * 5, 14, QByteArray("Jo\0Old Person", 14));
        QVERIFY(WriteWholeFile(p.data.settingsPath, settings));
        QVERIFY(WriteWholeFile(p.data.recipientsPath, recipients));

        LoadDataFiles(p.data);
        QCOMPARE(p.data.activeSmtpServer, QStringLiteral("mx.example"));
        SaveDataFiles(p.data);

        const QByteArray savedSettings = ReadWholeFile(p.data.settingsPath);
        QCOMPARE(savedSettings.mid(632, 128), QByteArray("\x9e\x9d\x9c", 3) + QByteArray(125, '\0'));
        QCOMPARE(savedSettings.left(128), QByteArray("mx.example") + QByteArray(118, '\0'));
        QCOMPARE(ReadWholeFile(p.data.recipientsPath).mid(176 * 5, 48), QByteArray("Jo") + QByteArray(46, '\0'));
        QCOMPARE(ReadTextField(p.data.recipients.entries[5].name), QStringLiteral("Jo"));
    }

    void saveWritesBothRecordsAndWorkingCopies()
    {
        Profile p(Profile::Nothing);
        LoadDataFiles(p.data);
        WriteTextField(p.data.settings.smtpServer, QStringLiteral("smtp.bücher.example"));
        p.data.settings.sendAsHtml = 0;
        WriteTextField(p.data.recipients.entries[39].name, QStringLiteral("Zoë Last"));
        WriteTextField(p.data.recipients.entries[39].address, QStringLiteral("zoe@example.org"));

        SaveDataFiles(p.data);

        QVERIFY(p.messages.shown.isEmpty());
        QCOMPARE(p.data.activeSmtpServer, QStringLiteral("smtp.bücher.example"));
        QCOMPARE(p.data.activeSendAsHtml, 0);
        QCOMPARE(ReadWholeFile(p.data.settingsPath), SettingsToBytes(p.data.settings));
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), RecipientsToBytes(p.data.recipients));

        StoredData again;
        PointDataAt(again, p.data.appDataFolder);
        LoadDataFiles(again);
        QCOMPARE(RawBytes(again.settings), RawBytes(p.data.settings));
        QCOMPARE(RawBytes(again.recipients), RawBytes(p.data.recipients));
        QCOMPARE(ReadTextField(again.recipients.entries[39].name), QStringLiteral("Zoë Last"));
        // Only a first run in a new folder sets auto-run: once cleared, later
        // starts leave it cleared.
        QCOMPARE(ClearAutoRun(p.data.appDataFolder), true);
        StoredData later;
        PointDataAt(later, p.data.appDataFolder);
        LoadDataFiles(later);
        QCOMPARE(IsAutoRunSet(p.data.appDataFolder), false);
    }

    // A full disk or a file-size limit lets a file be opened and then fails
    // part-way through writing it: the old file stays whole and the save is
    // reported, for each file the limit stops.
    void writeLimitKeepsOldFilesAndReports_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("settingsFits");
        QTest::newRow("both files over the limit") << 1024 << false;
        QTest::newRow("only the recipients over the limit") << 4096 << true;
    }

    void writeLimitKeepsOldFilesAndReports()
    {
        QFETCH(int, limit);
        QFETCH(bool, settingsFits);
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        SettingsRecord old;
        WriteTextField(old.smtpServer, QStringLiteral("old.example"));
        const QByteArray oldSettings = SettingsToBytes(old);
        const QByteArray oldRecipients = RandomBytes(sizeof(RecipientTable), 11);
        QVERIFY(WriteWholeFile(p.data.settingsPath, oldSettings));
        QVERIFY(WriteWholeFile(p.data.recipientsPath, oldRecipients));
        LoadDataFiles(p.data);
        QVERIFY(p.messages.shown.isEmpty());
        const QStringList entriesBefore = FolderEntries(p.folder());

        WriteTextField(p.data.settings.smtpServer, QStringLiteral("new.example"));
        WriteTextField(p.data.recipients.entries[3].name, QStringLiteral("New Name"));
        {
            FileSizeLimit capped(limit);
            SaveDataFiles(p.data);
        }

        using Shown = QList<QPair<QString, QString>>;
        Shown expected;
        if (!settingsFits)
            expected.append({kCaption, CannotCreate(p.data.settingsPath)});
        expected.append({kCaption, CannotCreate(p.data.recipientsPath)});
        QCOMPARE(p.messages.shown, expected);
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), oldRecipients);
        QCOMPARE(ReadWholeFile(p.data.settingsPath), settingsFits ? SettingsToBytes(p.data.settings) : oldSettings);
        // No half-written temporary file is left beside them.
        QCOMPARE(FolderEntries(p.folder()), entriesBefore);
        // The next start reads what was last saved whole.
        StoredData next;
        PointDataAt(next, p.data.appDataFolder);
        LoadDataFiles(next);
        QCOMPARE(ReadTextField(next.settings.smtpServer),
                 settingsFits ? QStringLiteral("new.example") : QStringLiteral("old.example"));
        QCOMPARE(RawBytes(next.recipients), oldRecipients);
    }

    // A data file that is a link is written through it, but never into a
    // file of someone else: run as root, that would take the file over.
    void linkToAnotherOwnersFileIsNotReplaced()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another owner");
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        LoadDataFiles(p.data);
        const QString theirs = p.dir.path() + QStringLiteral("/someone-elses.dat");
        QVERIFY(WriteWholeFile(theirs, "their bytes"));
        constexpr uid_t kNobody = 65534;
        QCOMPARE(::chown(QFile::encodeName(theirs).constData(), kNobody, kNobody), 0);
        QVERIFY(QFile::remove(p.data.settingsPath));
        QVERIFY(QFile::link(theirs, p.data.settingsPath));

        SaveDataFiles(p.data);

        using Shown = QList<QPair<QString, QString>>;
        QCOMPARE(p.messages.shown, (Shown{{kCaption, CannotCreate(p.data.settingsPath)}}));
        QCOMPARE(ReadWholeFile(theirs), QByteArray("their bytes"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(theirs).constData(), &info), 0);
        QCOMPARE(info.st_uid, kNobody);
        QCOMPARE(QFileInfo(p.data.settingsPath).symLinkTarget(), theirs);
        // The other file is written as usual.
        QCOMPARE(ReadWholeFile(p.data.recipientsPath), RecipientsToBytes(p.data.recipients));
    }

    void unwritableFolderReportsEverySave_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        // A file where the folder was: fails for root too.
        QTest::newRow("file in place of the folder") << false;
        QTest::newRow("read-only folder") << true;
    }

    void unwritableFolderReportsEverySave()
    {
        QFETCH(bool, readOnlyFolder);
        if (readOnlyFolder && ::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        Profile p(Profile::Nothing);
        LoadDataFiles(p.data);
        const QByteArray settingsBefore = ReadWholeFile(p.data.settingsPath);
        // Writable again before the temporary folder is removed.
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(p.folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (readOnlyFolder) {
            QVERIFY(QFile::setPermissions(p.folder(), QFile::ReadOwner | QFile::ExeOwner));
        } else {
            QVERIFY(QDir().rename(p.folder(), p.folder() + QStringLiteral(".moved")));
            QVERIFY(WriteWholeFile(p.folder(), "not a folder"));
        }
        WriteTextField(p.data.settings.smtpServer, QStringLiteral("changed.example"));
        p.data.settings.sendAsHtml = 0;
        WriteTextField(p.data.recipients.entries[0].name, QStringLiteral("Kept In Memory"));

        SaveDataFiles(p.data);
        SaveDataFiles(p.data);

        using Shown = QList<QPair<QString, QString>>;
        const QPair<QString, QString> settingsBox{kCaption, CannotCreate(p.data.settingsPath)};
        const QPair<QString, QString> recipientsBox{kCaption, CannotCreate(p.data.recipientsPath)};
        QCOMPARE(p.messages.shown, (Shown{settingsBox, recipientsBox, settingsBox, recipientsBox}));
        QCOMPARE(ReadTextField(p.data.settings.smtpServer), QStringLiteral("changed.example"));
        QCOMPARE(p.data.activeSmtpServer, QStringLiteral("changed.example"));
        QCOMPARE(p.data.activeSendAsHtml, 0);
        QCOMPARE(ReadTextField(p.data.recipients.entries[0].name), QStringLiteral("Kept In Memory"));
        if (readOnlyFolder)
            QCOMPARE(ReadWholeFile(p.data.settingsPath), settingsBefore);
    }

    void folderThatCannotBeCreated()
    {
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.data.appDataFolder));
        const QString blocker = p.data.appDataFolder + QStringLiteral("/Lumarc");
        QVERIFY(WriteWholeFile(blocker, "in the way"));

        LoadDataFiles(p.data);

        using Shown = QList<QPair<QString, QString>>;
        QCOMPARE(p.messages.shown, (Shown{{kCaption, kProblemAccessing}, {kCaption, kProblemAccessing}}));
        QCOMPARE(RawBytes(p.data.settings), QByteArray(sizeof(SettingsRecord), '\0'));
        QCOMPARE(RawBytes(p.data.recipients), QByteArray(sizeof(RecipientTable), '\0'));
        QCOMPARE(p.data.activeSendAsHtml, 0);
        QVERIFY(!QFileInfo::exists(AutoRunEntryPath(p.data.appDataFolder)));
        QCOMPARE(ReadWholeFile(blocker), QByteArray("in the way"));
    }

    void unreadableFileReportedAndKept_data()
    {
        QTest::addColumn<bool>("settingsFile"); // which file is unreadable; the other is missing or present
        QTest::addColumn<QString>("kind");
        QTest::newRow("settings: a folder") << true << "folder";
        QTest::newRow("settings: a pipe") << true << "pipe";
        QTest::newRow("settings: read fails") << true << "read fails";
        QTest::newRow("settings: dangling link") << true << "dangling link";
        QTest::newRow("settings: no read permission") << true << "no permission";
        QTest::newRow("recipients: a folder") << false << "folder";
        QTest::newRow("recipients: read fails") << false << "read fails";
    }

    void unreadableFileReportedAndKept()
    {
        QFETCH(bool, settingsFile);
        QFETCH(QString, kind);
        if (kind == u"no permission" && ::geteuid() == 0)
            QSKIP("root reads any file");
        Profile p(Profile::Nothing);
        QVERIFY(QDir().mkpath(p.folder()));
        const QString path = settingsFile ? p.data.settingsPath : p.data.recipientsPath;
        const QByteArray secret = SettingsToBytes(SettingsRecord{}).replace(0, 9, "kept.host");
        if (kind == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == u"read fails") {
            // Opens as a regular file; reading it at offset 0 fails with EIO.
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), path));
        } else if (kind == u"dangling link") {
            QVERIFY(QFile::link(p.dir.path() + QStringLiteral("/unmounted/quorvane.dat"), path));
        } else if (kind == u"no permission") {
            QVERIFY(WriteWholeFile(path, secret));
            QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        }
        // The settings case leaves the recipients file to be created: the save
        // that usually follows must not reach the unreadable settings file.
        SettingsRecord present;
        present.smtpPort = 2525;
        if (!settingsFile)
            QVERIFY(WriteWholeFile(p.data.settingsPath, SettingsToBytes(present)));
        const bool wasDir = QFileInfo(path).isDir();
        const QString linkTarget = QFileInfo(path).symLinkTarget();

        LoadDataFiles(p.data);

        using Shown = QList<QPair<QString, QString>>;
        QCOMPARE(p.messages.shown, (Shown{{kCaption, kProblemAccessing}}));
        QCOMPARE(QFileInfo(path).isDir(), wasDir);
        QCOMPARE(QFileInfo(path).symLinkTarget(), linkTarget);
        if (kind == u"pipe") {
            struct stat info {};
            QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
            QVERIFY(S_ISFIFO(info.st_mode));
        }
        if (kind == u"no permission") {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            QCOMPARE(ReadWholeFile(path), secret);
        }
        if (settingsFile) {
            QCOMPARE(RawBytes(p.data.settings), QByteArray(sizeof(SettingsRecord), '\0'));
            QCOMPARE(ReadWholeFile(p.data.recipientsPath), QByteArray(sizeof(RecipientTable), '\0'));
        } else {
            QCOMPARE(p.data.settings.smtpPort, 2525);
            QCOMPARE(ReadWholeFile(p.data.settingsPath), SettingsToBytes(present));
            QCOMPARE(RawBytes(p.data.recipients), QByteArray(sizeof(RecipientTable), '\0'));
        }
        QVERIFY(!QFileInfo::exists(AutoRunEntryPath(p.data.appDataFolder)));
    }
};

QTEST_APPLESS_MAIN(TestDataFiles)
#include "test_datafiles.moc"
