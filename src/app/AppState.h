#pragma once

#include "form/ClockTexts.h"
#include "form/OutgoingMessage.h"
#include "store/RecipientTable.h"
#include "store/SettingsRecord.h"

#include <QString>

#include <array>
#include <cstdint>

class UserMessages;

// The one process-wide state. Created once in main() and handed to the parts
// that use it; tests make their own.
struct AppState {
    // Start-up
    QString windowTitle = QStringLiteral("Quorvane");
    int screenWidth = 0;
    int screenHeight = 0;
    std::int32_t formOpen = 0;
    QString installedPath;   // the program's folder, ending in "/"
    QString autoRunCommand;  // "\"" + installedPath + "quorvane\""
    QString appDataFolder;   // $XDG_CONFIG_HOME or ~/.config
    bool dataFolderIsNew = false; // this start made the data folder: a first run
    QString settingsPath;    // appDataFolder + "/Lumarc/quorvane/quorvane.dat"
    QString recipientsPath;  // appDataFolder + "/Lumarc/quorvane/qvnrecipients.dat"
    // A data file that exists but could not be read at start-up may hold the
    // user's settings: no save of this run replaces it.
    bool settingsFileUnread = false;
    bool recipientsFileUnread = false;

    // Data files and their working copies
    SettingsRecord settings{};
    RecipientTable recipients{};
    QString activeSmtpServer;
    std::int32_t activeSendAsHtml = 0;

    // Holds the clear SMTP password only while Setup is open or a send sets
    // it; every user leaves it all zero.
    std::array<char, 128> passwordScratch{};

    // Message form and rendering
    ClockTexts clock;
    OutgoingMessage message;
    QString helpPath;
    std::int32_t helpUnavailable = 0; // set once help could not be shown

    // Where the store shows its message boxes; null shows nothing.
    UserMessages *messages = nullptr;
};
