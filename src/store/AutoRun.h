#pragma once

#include <QString>

// Starting with the session is the XDG autostart entry
// appDataFolder/autostart/quorvane.desktop; its presence is the setting.
QString AutoRunEntryPath(const QString &appDataFolder);

// Set and Clear say whether they succeeded; callers may ignore it.
bool SetAutoRun(const QString &appDataFolder, const QString &command);
bool ClearAutoRun(const QString &appDataFolder);
bool IsAutoRunSet(const QString &appDataFolder);
