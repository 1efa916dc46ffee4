// A tray icon and nothing else, started the way any Qt Widgets tray program
// starts: the reference the benchmark holds Quorvane's start-up against.
#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap picture(22, 22);
    picture.fill(QColor(0x2a, 0x6f, 0xb0));
    QSystemTrayIcon icon{QIcon(picture)};
    icon.setToolTip(QStringLiteral("Bare tray"));
    icon.show();
    return QApplication::exec();
}
