#include "app/Startup.h"

#include "app/AppState.h"
#include "app/MessageBoxMessages.h"
#include "app/SingleInstance.h"
#include "app/TrayController.h"
#include "store/DataFiles.h"
#include "store/SafeFile.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

namespace {

// How long a desktop gets to show its notification area before the program
// opens its form instead, so that it is never running invisibly.
constexpr int kTrayGraceMs = 3000;

} // namespace

QString AutoRunCommandFor(const QString &installedPath, const QString &programName)
{
    return QStringLiteral("\"") + installedPath + programName + QStringLiteral("\"");
}

int RunQuorvane(AppState &state, const QString &programPath, const QString &configFolder)
{
    StoredData &data = state.data;
    data.appDataFolder = configFolder;
    const QString dataFolder = DataFolderPath(configFolder);
    data.dataFolderIsNew = !QFileInfo(dataFolder).isDir();
    MakePrivateFolder(dataFolder);

    SingleInstance instance(dataFolder);
    switch (instance.acquire()) {
    case SingleInstance::Owner:
        break;
    case SingleInstance::HeldByAnother:
        instance.askOwnerToShow();
        return 0;
    case SingleInstance::Unavailable:
        // No lock can be made where the files cannot be: go on, and let the
        // data files say what is wrong.
        break;
    }

    TrayController controller(state);
    QMetaObject::invokeMethod(&controller, &TrayController::putInTray, Qt::QueuedConnection);

    if (programPath.isEmpty()) {
        // The tray icon is put in place while this box is open.
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvane Not Installed Properly"),
                        QStringLiteral("Installed path not found - Please re-install Quorvane"), QMessageBox::Ok);
        box.exec();
        controller.removeFromTray();
        return 0;
    }
    const QFileInfo program(programPath);
    state.installedPath = program.absolutePath() + QStringLiteral("/");
    data.autoRunCommand = AutoRunCommandFor(state.installedPath, program.fileName());

    data.settingsPath = SettingsFilePath(configFolder);
    data.recipientsPath = RecipientsFilePath(configFolder);
    MessageBoxMessages boxes;
    data.messages = &boxes;
    LoadDataFiles(data);

    // Where the desktop has no notification area, the form is the program's
    // only face: open it, and bring it forward when the program is started again.
    auto openFormWithoutTray = [&controller] {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            controller.openForm();
    };
    QTimer::singleShot(kTrayGraceMs, &controller, openFormWithoutTray);
    QObject::connect(&instance, &SingleInstance::showRequested, &controller, openFormWithoutTray);

    const int code = QApplication::exec();
    data.messages = nullptr;
    return code;
}
