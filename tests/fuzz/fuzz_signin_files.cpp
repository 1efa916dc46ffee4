#include "FuzzInput.h"

#include "signin/SignInConfigFile.h"
#include "store/SignInChoices.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

// Both files are read from disk, as the program reads them.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    static const QString path = folder.filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(FuzzBytes(data, size));
    file.close();
    ReadSignInConfigFile(path);
    ReadSignInChoices(path);
    return 0;
}
