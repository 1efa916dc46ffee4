#pragma once

#include <QString>

// Starting with the session is the XDG autostart entry
// appDataFolder/autostart/quorvane.desktop; its presence is the setting.
QString AutoRunEntryPath(const QString &appDataFolder);

// Each returns 1 on success, 0 otherwise; callers may ignore it.
int SetAutoRun(const QString &appDataFolder, const QString &command);
int ClearAutoRun(const QString &appDataFolder);
int IsAutoRunSet(const QString &appDataFolder);
