#include "app/Startup.h"

#include "app/AppState.h"
#include "app/MessageBoxMessages.h"
#include "app/SingleInstance.h"
#include "app/TrayController.h"
#include "store/AutoRun.h"
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
// At log-in (the autostart entry passes kAtLogInArgument) the panel often
// comes up seconds after the program: it gets longer.
constexpr int kLogInTrayGraceMs = 15000;

// A lock held on another computer cannot be checked from here: it may be a
// copy running there on a shared home folder, or a lock left behind under
// this computer's former name. Only the user knows which.
bool UserChoosesToStartHere(const QString &host, const QString &dataFolder)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quorvane"),
                    QStringLiteral("Quorvane seems to be running on the computer \"%1\" with the settings in\n%2\n\n"
                                   "If it is not (this computer has been renamed, or Quorvane ended there without "
                                   "tidying up), it can start here. If it is, two copies would each save over "
                                   "the other's changes.\n\nStart Quorvane here?")
                        .arg(host, dataFolder),
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

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
    case SingleInstance::HeldOnAnotherHost:
        if (!UserChoosesToStartHere(instance.holderHost(), dataFolder))
            return 0;
        if (instance.takeOver() == SingleInstance::Owner)
            break;
        [[fallthrough]];
    case SingleInstance::HeldByAnother:
        instance.askOwnerToShow();
        return 0;
    case SingleInstance::Unusable: {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quorvane Cannot Start"), instance.problem(), QMessageBox::Ok);
        box.exec();
        return 1;
    }
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
        if (!controller.inTray())
            controller.openForm();
    };
    const bool atLogIn = QCoreApplication::arguments().contains(QLatin1String(kAtLogInArgument));
    QTimer::singleShot(atLogIn ? kLogInTrayGraceMs : kTrayGraceMs, &controller,
                       &TrayController::openFormWithoutTray);
    QObject::connect(&instance, &SingleInstance::showRequested, &controller, openFormWithoutTray);

    const int code = QApplication::exec();
    data.messages = nullptr;
    return code;
}
