#pragma once

#include <QString>

struct AppState;

// Everything from start to the end of the program: one copy per profile, the
// tray, the paths and the data files, then the event loop. programPath is the
// running program's own file; empty means it could not be found. Returns the
// exit code.
int RunQuorvane(AppState &state, const QString &programPath, const QString &configFolder);

// The command that starts this program with the session: the program path
// in double quotes.
QString AutoRunCommandFor(const QString &installedPath, const QString &programName);
