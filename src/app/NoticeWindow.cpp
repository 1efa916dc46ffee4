#include "app/NoticeWindow.h"

#include "app/XSelectionOwned.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {

constexpr qreal kOpacity = 160.0 / 255.0;

// Whether something blends windows with what lies behind them: an owner of
// the screen's compositing manager selection. Without one, a see-through
// pixel shows as a darker one.
bool CompositingActive()
{
    return XSelectionOwned("_NET_WM_CM_S");
}

} // namespace

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
    // See-through by its own pixels (a visual with alpha), not by asking the
    // desktop for a window opacity, which some compositors ignore (GNOME
    // under Wayland).
    setAttribute(Qt::WA_TranslucentBackground);
    setBackgroundRole(QPalette::ToolTipBase);
    QRect screen(0, 0, 0, 0);
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    setGeometry(screen.x() + screen.width() - 200, screen.y() + screen.height() - 100, 120, 25);
}

QImage NoticeWindow::picture(const QSize &size, const QPalette &palette, bool seeThrough, qreal pixelRatio)
{
    // Drawn solid first and then made see-through as a whole, so that the
    // text is as translucent as the rest, not more solid where it overlaps.
    QImage solid(size * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    solid.setDevicePixelRatio(pixelRatio);
    {
        QPainter painter(&solid);
        const QRect area(QPoint(0, 0), size);
        painter.fillRect(area, palette.color(QPalette::ToolTipBase));
        painter.setPen(palette.color(QPalette::Mid));
        painter.drawRect(area.adjusted(0, 0, -1, -1)); // the thin border
        painter.setPen(QColor(0, 0, 255));
        painter.drawText(area.adjusted(10, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop, kText);
    }
    if (!seeThrough)
        return solid;
    QImage translucent(solid.size(), QImage::Format_ARGB32_Premultiplied);
    translucent.setDevicePixelRatio(pixelRatio);
    translucent.fill(Qt::transparent);
    QPainter painter(&translucent);
    painter.setOpacity(kOpacity);
    painter.drawImage(0, 0, solid);
    return translucent;
}

void NoticeWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Where nothing blends it with the desktop, the strip is drawn solid, as
    // it is seen then anyway.
    painter.drawImage(0, 0, picture(size(), palette(), CompositingActive(), devicePixelRatioF()));
}

void NoticeWindow::showEvent(QShowEvent *event)
{
    // A compositor may have come or gone since the last showing: drawn anew.
    update();
    QWidget::showEvent(event);
}
