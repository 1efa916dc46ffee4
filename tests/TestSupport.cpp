#include "TestSupport.h"

#include "app/AppState.h"
#include "store/DataFiles.h"

#include <QFile>

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
