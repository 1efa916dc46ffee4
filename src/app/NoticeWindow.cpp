#include "app/NoticeWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

NoticeWindow::NoticeWindow(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
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
