#include "store/DataFiles.h"

#include "app/AppState.h"
#include "store/AutoRun.h"
#include "store/RecordBytes.h"
#include "store/SafeFile.h"
#include "store/TextField.h"
#include "store/UserMessages.h"

#include <QFile>
#include <QFileInfo>

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

void RefreshWorkingCopies(AppState &state)
{
    state.activeSendAsHtml = state.settings.sendAsHtml;
    state.activeSmtpServer = ReadTextField(state.settings.smtpServer);
}

enum class ReadResult { Read, Missing, Unreadable };

// Reads at most maxBytes of an existing file; a shorter file gives fewer.
ReadResult ReadDataFile(const QString &path, qint64 maxBytes, QByteArray &bytes)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return ReadResult::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    bytes = file.read(maxBytes);
    return ReadResult::Read;
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
    switch (ReadDataFile(state.settingsPath, sizeof(SettingsRecord), bytes)) {
    case ReadResult::Read:
        SettingsFromBytes(state.settings, bytes);
        break;
    case ReadResult::Missing:
        CreateSettingsFile(state);
        break;
    case ReadResult::Unreadable:
        // Someone's settings are in there: say so rather than replace them.
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
        CreateRecipientsFile(state);
        break;
    case ReadResult::Unreadable:
        Show(state, kProblemAccessing);
        break;
    }
}

void SaveDataFiles(AppState &state)
{
    if (!WriteFileAtomically(state.settingsPath, SettingsToBytes(state.settings)))
        ReportCannotCreate(state, state.settingsPath);
    RefreshWorkingCopies(state);
    if (!WriteFileAtomically(state.recipientsPath, RecipientsToBytes(state.recipients)))
        ReportCannotCreate(state, state.recipientsPath);
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
    EnsureDataFolder(state);
    if (!WriteFileAtomically(state.recipientsPath, RecipientsToBytes(RecipientTable{}))) {
        Show(state, kProblemAccessing);
        return;
    }
    state.recipients = RecipientTable{};
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
