#include "TestSupport.h"

#include "app/AppState.h"
#include "store/DataFiles.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/resource.h>

void PointStateAt(AppState &state, const QString &appDataFolder)
{
    state.appDataFolder = appDataFolder;
    state.settingsPath = SettingsFilePath(appDataFolder);
    state.recipientsPath = RecipientsFilePath(appDataFolder);
    state.installedPath = QStringLiteral("/opt/quorvane/bin/");
    state.autoRunCommand = QStringLiteral("\"/opt/quorvane/bin/quorvane\"");
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList FolderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

FileSizeLimit::FileSizeLimit(long long bytes)
{
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_softLimit = static_cast<long long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_softLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}
