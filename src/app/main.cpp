#include "app/AppState.h"
#include "app/Startup.h"

#include <QApplication>
#include <QStandardPaths>

#include <csignal>

int main(int argc, char *argv[])
{
    // Under a file-size limit a write past it would end the program with the
    // message unsent; ignored, the write fails and the save says so.
    std::signal(SIGXFSZ, SIG_IGN);

    // Under Wayland the X11 platform keeps window positions, opacity and
    // keep-on-top working as the program expects.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));
    QApplication::setDesktopFileName(QStringLiteral("quorvane"));
    // A tray program lives on when its last window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    AppState state;
    return RunQuorvane(state, QCoreApplication::applicationFilePath(),
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}
