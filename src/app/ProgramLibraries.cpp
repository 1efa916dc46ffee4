#include "app/ProgramLibraries.h"

#include <QDir>
#include <QLibrary>
#include <QThreadPool>

#include <atomic>

QString LibraryFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../lib/quorvane"));
}

QString MailLibraryPath(const QString &libraryFolder)
{
    return libraryFolder + QStringLiteral("/libquorvane-mail.so");
}

QString SignInLibraryPath(const QString &libraryFolder)
{
    return libraryFolder + QStringLiteral("/libquorvane-signin.so");
}

QFunctionPointer LibraryEntry(const QString &libraryPath, const char *name)
{
    // The object going out of scope leaves the library loaded.
    QLibrary library(libraryPath);
    return library.resolve(name);
}

DeliverEntry MailLibraryEntry(const QString &libraryFolder)
{
    return LibraryEntryAs<DeliverEntry>(MailLibraryPath(libraryFolder), kDeliverEntryName);
}

void OpenMailLibraryInBackground(const QString &libraryFolder)
{
    static std::atomic<bool> asked{false};
    if (asked.exchange(true))
        return;
    QThreadPool::globalInstance()->start([libraryFolder] {
        if (const auto prepare = LibraryEntryAs<PrepareEntry>(MailLibraryPath(libraryFolder), kPrepareEntryName))
            prepare();
    });
}
