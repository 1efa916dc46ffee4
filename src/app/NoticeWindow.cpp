#include "app/NoticeWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace {

constexpr qreal kOpacity = 160.0 / 255.0;

// Whether something blends windows with what lies behind them: an owner of
// the screen's compositing manager selection. Without one, a see-through
// pixel shows as a darker one.
bool CompositingActive()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    char *host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner)
        return false;
    const bool active = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return active;
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
