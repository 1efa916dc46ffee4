#include "app/MailLibrary.h"

#include <QDir>
#include <QLibrary>
#include <QThreadPool>

#include <atomic>

QString MailLibraryFolder(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../lib/quorvane"));
}

QString MailLibraryPath(const QString &libraryFolder)
{
    return libraryFolder + QStringLiteral("/libquorvane-mail.so");
}

DeliverEntry MailLibraryEntry(const QString &libraryFolder)
{
    // The object going out of scope leaves the library loaded.
    QLibrary library(MailLibraryPath(libraryFolder));
    return reinterpret_cast<DeliverEntry>(library.resolve(kDeliverEntryName));
}

void OpenMailLibraryInBackground(const QString &libraryFolder)
{
    static std::atomic<bool> asked{false};
    if (asked.exchange(true))
        return;
    QThreadPool::globalInstance()->start([libraryFolder] {
        QLibrary library(MailLibraryPath(libraryFolder));
        if (const auto prepare = reinterpret_cast<PrepareEntry>(library.resolve(kPrepareEntryName)))
            prepare();
    });
}
