#pragma once

#include "store/StoredData.h"

#include <QString>

// The one process-wide state. Created once in main() and handed to the parts
// that use it; tests make their own.
struct AppState {
    StoredData data;         // the data files, their paths and working copies
    QString installedPath;   // the program's folder, ending in "/"
    bool helpUnavailable = false; // set once help could not be shown
};
