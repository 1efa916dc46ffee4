#pragma once

#include "mail/DeliveryJob.h"

#include <QFunctionPointer>
#include <QString>

// The program's own libraries, opened when they are first needed rather than
// at start: the mail library (composition, SMTP, the token endpoint and
// libcurl, which brings some twenty libraries that would otherwise be mapped
// and relocated before the tray icon shows) at the first send, and the
// sign-in library (the sign-in dialog and the desktop keyring) when Setup's
// sign-in button is pressed or a send is signed in. They lie in
// ../lib/quorvane/ beside the program's bin/ folder, in the build tree and in
// an installed prefix alike, and stay open for the rest of the run once open.
QString LibraryFolder(const QString &programFolder);
QString MailLibraryPath(const QString &libraryFolder);
QString SignInLibraryPath(const QString &libraryFolder);

// An entry point of a library, opening the library on the first call. Null
// when it cannot be opened. Safe to call from any thread.
QFunctionPointer LibraryEntry(const QString &libraryPath, const char *name);

template <class Entry>
Entry LibraryEntryAs(const QString &libraryPath, const char *name)
{
    return reinterpret_cast<Entry>(LibraryEntry(libraryPath, name));
}

// The mail library's delivery entry.
DeliverEntry MailLibraryEntry(const QString &libraryFolder);

// Opens the mail library on a pooled thread, once per run, and has it start
// libcurl and read the media types, so that a send made soon after waits for
// none of it: called when the message form opens, as the user has a message
// to type before the send.
void OpenMailLibraryInBackground(const QString &libraryFolder);
