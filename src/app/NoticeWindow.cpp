#include "app/NoticeWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

NoticeWindow::NoticeWindow(QWidget *parent)
    // Left alone by every window manager (override-redirect under X11):
    // asked nicely, some still manage a strip like this as a window of their
    // own, move and grow it, and give it the keyboard, so that what is typed
    // in its two seconds is lost to the form.
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("noticeWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    setWindowOpacity(160.0 / 255.0);
    QRect screen(0, 0, 0, 0);
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    setGeometry(screen.x() + screen.width() - 200, screen.y() + screen.height() - 100, 120, 25);
}

void NoticeWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1)); // the thin border
    painter.setPen(QColor(0, 0, 255));
    painter.drawText(rect().adjusted(10, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop, kText);
}
