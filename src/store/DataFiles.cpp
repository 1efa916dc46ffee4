#include "store/DataFiles.h"

#include "app/AppState.h"
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

void Show(AppState &state, const QString &text)
{
    if (state.messages)
        state.messages->show(kCaption, text);
}

void ReportCannotCreate(AppState &state, const QString &path)
{
    Show(state, QStringLiteral("Cannot create Quorvane Data File - ") + path +
                    QStringLiteral("\nPlease check that you have 'write' access to this folder"));
}

// Writes one data file whole, unless it is one that could not be read at
// start: what is in memory is then not what it holds.
void SaveFile(AppState &state, const QString &path, bool unread, const QByteArray &bytes)
{
    if (unread) {
        Show(state, QStringLiteral("Quorvane Data File not saved - ") + path +
                        QStringLiteral("\nIt could not be read when Quorvane started, so it is left as it is. "
                                       "Make it readable, then start Quorvane again."));
        return;
    }
    if (!WriteFileAtomically(path, bytes))
        ReportCannotCreate(state, path);
}

void RefreshWorkingCopies(AppState &state)
{
    state.activeSendAsHtml = state.settings.sendAsHtml;
    state.activeSmtpServer = ReadTextField(state.settings.smtpServer);
}

// Makes the data folder when it is missing. Returns whether it had to be made.
bool EnsureDataFolder(const AppState &state)
{
    const QString folder = DataFolderPath(state.appDataFolder);
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
bool WriteEmptyRecipientsFile(AppState &state)
{
    EnsureDataFolder(state);
    if (!WriteFileAtomically(state.recipientsPath, RecipientsToBytes(RecipientTable{}))) {
        Show(state, kProblemAccessing);
        return false;
    }
    state.recipients = RecipientTable{};
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

void LoadDataFiles(AppState &state)
{
    QByteArray bytes;
    bool settingsUnreadable = false;
    switch (ReadDataFile(state.settingsPath, sizeof(SettingsRecord), bytes)) {
    case ReadResult::Read:
        SettingsFromBytes(state.settings, bytes);
        break;
    case ReadResult::Missing:
        CreateSettingsFile(state);
        break;
    case ReadResult::Unreadable:
        // Someone's settings are in there: say so rather than replace them.
        settingsUnreadable = true;
        state.settingsFileUnread = true;
        Show(state, kProblemAccessing);
        break;
    }
    RefreshWorkingCopies(state);

    bytes.clear();
    switch (ReadDataFile(state.recipientsPath, sizeof(RecipientTable), bytes)) {
    case ReadResult::Read:
        RecipientsFromBytes(state.recipients, bytes);
        break;
    case ReadResult::Missing:
        // The save that follows a new recipients file rewrites the settings
        // too, which would put an empty record over the file we could not read.
        if (settingsUnreadable)
            WriteEmptyRecipientsFile(state);
        else
            CreateRecipientsFile(state);
        break;
    case ReadResult::Unreadable:
        state.recipientsFileUnread = true;
        Show(state, kProblemAccessing);
        break;
    }
}

void SaveDataFiles(AppState &state)
{
    SaveFile(state, state.settingsPath, state.settingsFileUnread, SettingsToBytes(state.settings));
    RefreshWorkingCopies(state);
    SaveFile(state, state.recipientsPath, state.recipientsFileUnread, RecipientsToBytes(state.recipients));
}

void CreateSettingsFile(AppState &state)
{
    const bool folderMade = EnsureDataFolder(state) || state.dataFolderIsNew;
    AppState defaults;
    ResetSettings(defaults);
    // Only the settings file: the recipients file, if there is one, has not
    // been read yet and must not be replaced by an empty table. When even this
    // cannot be written the record stays as it was (all zero at start-up).
    if (!WriteFileAtomically(state.settingsPath, SettingsToBytes(defaults.settings))) {
        Show(state, kProblemAccessing);
        return;
    }
    ResetSettings(state);
    // A first run for this user: start with the session from now on.
    if (folderMade)
        SetAutoRun(state.appDataFolder, state.autoRunCommand);
    RefreshWorkingCopies(state);
}

void CreateRecipientsFile(AppState &state)
{
    if (WriteEmptyRecipientsFile(state))
        SaveDataFiles(state);
}

void ResetSettings(AppState &state)
{
    state.settings = SettingsRecord{};
    state.settings.smtpPort = 25;
    state.settings.sendAsHtml = 1;
    for (RecipientEntry &entry : state.recipients.entries) {
        entry.name[0] = 0;
        entry.address[0] = 0;
    }
}
