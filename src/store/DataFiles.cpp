#include "store/DataFiles.h"

#include "store/StoredData.h"
#include "store/AutoRun.h"
#include "store/RecordBytes.h"
#include "store/SafeFile.h"
#include "store/TextField.h"
#include "store/UserMessages.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace {

const QString kCaption = QStringLiteral("Quorvane");
const QString kProblemAccessing = QStringLiteral("Problem accessing settings data file - Please re-install Quorvane");

void Show(StoredData &data, const QString &text)
{
    if (data.messages)
        data.messages->show(kCaption, text);
}

void ReportCannotCreate(StoredData &data, const QString &path)
{
    Show(data, QStringLiteral("Cannot create Quorvane Data File - ") + path +
                    QStringLiteral("\nPlease check that you have 'write' access to this folder"));
}

// Writes one data file whole, unless it is one that could not be read at
// start: what is in memory is then not what it holds.
void SaveFile(StoredData &data, const QString &path, bool unread, const QByteArray &bytes)
{
    if (unread) {
        Show(data, QStringLiteral("Quorvane Data File not saved - ") + path +
                        QStringLiteral("\nIt could not be read when Quorvane started, so it is left as it is. "
                                       "Make it readable, then start Quorvane again."));
        return;
    }
    if (!WriteFileAtomically(path, bytes))
        ReportCannotCreate(data, path);
}

void RefreshWorkingCopies(StoredData &data)
{
    data.activeSendAsHtml = data.settings.sendAsHtml;
    data.activeSmtpServer = ReadTextField(data.settings.smtpServer);
}

// Makes the data folder when it is missing. Returns whether it had to be made.
bool EnsureDataFolder(const StoredData &data)
{
    const QString folder = DataFolderPath(data.appDataFolder);
    if (QFileInfo(folder).isDir())
        return false;
    MakePrivateFolder(folder);
    return true;
}

enum class ReadResult { Read, Missing, Unreadable };

// Reads at most maxBytes of an existing file; a shorter file gives fewer.
// Only a file that is not there counts as missing: anything else at the path
// (a folder, a dangling link, a pipe that would block the start, a file whose
// read fails) may be the user's settings and must not be replaced.
ReadResult ReadDataFile(const QString &path, qint64 maxBytes, QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        const int error = errno;
        struct stat entry {};
        if ((error == ENOENT || error == ENOTDIR) && ::lstat(native.constData(), &entry) != 0)
            return ReadResult::Missing;
        return ReadResult::Unreadable;
    }
    if (!S_ISREG(info.st_mode))
        return ReadResult::Unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    bytes.resize(maxBytes);
    const qint64 got = file.read(bytes.data(), maxBytes);
    if (got < 0)
        return ReadResult::Unreadable;
    bytes.truncate(got);
    return ReadResult::Read;
}

// Writes an empty recipients table. Returns false, after saying so, when it
// cannot.
bool WriteEmptyRecipientsFile(StoredData &data)
{
    EnsureDataFolder(data);
    if (!WriteFileAtomically(data.recipientsPath, RecipientsToBytes(RecipientTable{}))) {
        Show(data, kProblemAccessing);
        return false;
    }
    data.recipients = RecipientTable{};
    return true;
}

} // namespace

QString DataFolderPath(const QString &appDataFolder)
{
    return appDataFolder + QStringLiteral("/Lumarc/quorvane");
}

QString SettingsFilePath(const QString &appDataFolder)
{
    return DataFolderPath(appDataFolder) + QStringLiteral("/quorvane.dat");
}

QString RecipientsFilePath(const QString &appDataFolder)
{
    return DataFolderPath(appDataFolder) + QStringLiteral("/qvnrecipients.dat");
}

void LoadDataFiles(StoredData &data)
{
    QByteArray bytes;
    bool settingsUnreadable = false;
    switch (ReadDataFile(data.settingsPath, sizeof(SettingsRecord), bytes)) {
    case ReadResult::Read:
        SettingsFromBytes(data.settings, bytes);
        break;
    case ReadResult::Missing:
        CreateSettingsFile(data);
        break;
    case ReadResult::Unreadable:
        // Someone's settings are in there: say so rather than replace them.
        settingsUnreadable = true;
        data.settingsFileUnread = true;
        Show(data, kProblemAccessing);
        break;
    }
    RefreshWorkingCopies(data);

    bytes.clear();
    switch (ReadDataFile(data.recipientsPath, sizeof(RecipientTable), bytes)) {
    case ReadResult::Read:
        RecipientsFromBytes(data.recipients, bytes);
        break;
    case ReadResult::Missing:
        // The save that follows a new recipients file rewrites the settings
        // too, which would put an empty record over the file we could not read.
        if (settingsUnreadable)
            WriteEmptyRecipientsFile(data);
        else
            CreateRecipientsFile(data);
        break;
    case ReadResult::Unreadable:
        data.recipientsFileUnread = true;
        Show(data, kProblemAccessing);
        break;
    }
}

void SaveDataFiles(StoredData &data)
{
    SaveFile(data, data.settingsPath, data.settingsFileUnread, SettingsToBytes(data.settings));
    RefreshWorkingCopies(data);
    SaveFile(data, data.recipientsPath, data.recipientsFileUnread, RecipientsToBytes(data.recipients));
}

void CreateSettingsFile(StoredData &data)
{
    const bool folderMade = EnsureDataFolder(data) || data.dataFolderIsNew;
    StoredData defaults;
    ResetSettings(defaults);
    // Only the settings file: the recipients file, if there is one, has not
    // been read yet and must not be replaced by an empty table. When even this
    // cannot be written the record stays as it was (all zero at start-up).
    if (!WriteFileAtomically(data.settingsPath, SettingsToBytes(defaults.settings))) {
        Show(data, kProblemAccessing);
        return;
    }
    ResetSettings(data);
    // A first run for this user: start with the session from now on.
    if (folderMade)
        SetAutoRun(data.appDataFolder, data.autoRunCommand);
    RefreshWorkingCopies(data);
}

void CreateRecipientsFile(StoredData &data)
{
    if (WriteEmptyRecipientsFile(data))
        SaveDataFiles(data);
}

void ResetSettings(StoredData &data)
{
    data.settings = SettingsRecord{};
    data.settings.smtpPort = 25;
    data.settings.sendAsHtml = 1;
    for (RecipientEntry &entry : data.recipients.entries) {
        entry.name[0] = 0;
        entry.address[0] = 0;
    }
}
