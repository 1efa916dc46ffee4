#pragma once

#include "mail/DeliveryJob.h"

#include <QString>

// The mail library (composition, SMTP and libcurl) is opened at the first
// send, not at start: libcurl brings some twenty libraries that would
// otherwise be mapped and relocated before the tray icon shows. It lies in
// ../lib/quorvane/ beside the program's bin/ folder, in the build tree and in
// an installed prefix alike.
QString MailLibraryFolder(const QString &programFolder);
QString MailLibraryPath(const QString &libraryFolder);

// The library's delivery entry, opening the library on the first call; it
// stays open for the rest of the run. Null when it cannot be opened. Safe to
// call from any thread.
DeliverEntry MailLibraryEntry(const QString &libraryFolder);

// Opens the library on a pooled thread, once per run, and has it start
// libcurl and read the media types, so that a send made soon after waits for
// none of it: called when the message form opens, as the user has a message
// to type before the send.
void OpenMailLibraryInBackground(const QString &libraryFolder);
