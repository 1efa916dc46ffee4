#pragma once

#include <QString>

// How the store and other plain-data parts show a message box to the user
// without depending on widgets: the program passes one that opens a
// QMessageBox, tests pass one that records what would have been shown.
class UserMessages {
public:
    virtual ~UserMessages() = default;
    virtual void show(const QString &caption, const QString &text) = 0;
};
