#include "app/AppState.h"
#include "app/Startup.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
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
