#pragma once

#include "store/RecipientTable.h"
#include "store/SettingsRecord.h"

#include <QString>

#include <cstdint>

class UserMessages;

// The two data files, where they live, and the working copies the program
// reads between saves. Start-up fills the paths; the store loads and saves
// the records; everyone else reads and edits them through this one object.
struct StoredData {
    QString appDataFolder;   // $XDG_CONFIG_HOME or ~/.config
    QString settingsPath;    // appDataFolder + "/Lumarc/quorvane/quorvane.dat"
    QString recipientsPath;  // appDataFolder + "/Lumarc/quorvane/qvnrecipients.dat"
    bool dataFolderIsNew = false; // this start made the data folder: a first run
    QString autoRunCommand;  // what the autostart entry runs: the program in quotes
    // A data file that exists but could not be read at start-up may hold the
    // user's settings: no save of this run replaces it.
    bool settingsFileUnread = false;
    bool recipientsFileUnread = false;

    SettingsRecord settings{};
    RecipientTable recipients{};
    // Copies of two settings taken when the files were last read or saved.
    QString activeSmtpServer;
    std::int32_t activeSendAsHtml = 0;

    // Where the store shows its message boxes; null shows nothing.
    UserMessages *messages = nullptr;
};
