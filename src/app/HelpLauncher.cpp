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

bool LaunchHelp(AppState &state, const QString &helpPath)
{
    if (state.helpUnavailable)
        return false;
    if (!QFileInfo(helpPath).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(helpPath))) {
        state.helpUnavailable = true;
        return false;
    }
    return true;
}
