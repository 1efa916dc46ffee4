#pragma once

#include <QString>

struct AppState;

// The data folder and file names under the user's config folder.
QString DataFolderPath(const QString &appDataFolder);     // appDataFolder + "/Lumarc/quorvane"
QString SettingsFilePath(const QString &appDataFolder);   // .../quorvane.dat
QString RecipientsFilePath(const QString &appDataFolder); // .../qvnrecipients.dat

// Reads both files into state.settings and state.recipients, creating the
// ones that do not exist. One that exists but cannot be read is reported and
// left as it is, for the whole run. Called once at start-up after the paths are set.
void LoadDataFiles(AppState &state);

// Writes both records whole, settings first, each replaced atomically, and
// refreshes the working copies. The one way to persist a change. A file that
// could not be read at start-up is left alone, and the box says so.
void SaveDataFiles(AppState &state);

void CreateSettingsFile(AppState &state);
void CreateRecipientsFile(AppState &state);
void ResetSettings(AppState &state);
