#pragma once

#include <QString>

// Starting with the session is the XDG autostart entry
// appDataFolder/autostart/quorvane.desktop; its presence is the setting.
QString AutoRunEntryPath(const QString &appDataFolder);

// What the entry passes after the command, so that the program knows it was
// started at log-in, when the desktop's panel may not be up yet.
inline constexpr char kAtLogInArgument[] = "--autostart";

// Set and Clear say whether they succeeded; callers may ignore it.
bool SetAutoRun(const QString &appDataFolder, const QString &command);
bool ClearAutoRun(const QString &appDataFolder);
bool IsAutoRunSet(const QString &appDataFolder);
