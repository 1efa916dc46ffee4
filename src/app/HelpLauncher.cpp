#include "app/HelpLauncher.h"

#include "app/AppState.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString HelpDocumentPath(const QString &programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/quorvane/") + QString::fromUtf8(kHelpDocumentName));
}

int LaunchHelp(AppState &state, const QString &helpPath)
{
    if (state.helpUnavailable)
        return 0;
    if (!QFileInfo(helpPath).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(helpPath))) {
        state.helpUnavailable = 1;
        return 0;
    }
    return 1;
}
