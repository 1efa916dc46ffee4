#include "dialogs/HyperLink.h"

#include "app/ProductInfo.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QUrl>

namespace {

// The hand is drawn pointing up; its fingertip is where the click lands.
constexpr int kCursorHotSpotX = 7;
constexpr int kCursorHotSpotY = 0;

void OpenWebAddress(QWidget *owner)
{
    if (QDesktopServices::openUrl(QUrl(QString::fromUtf8(kProductWebAddress))))
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Launch Error"), QStringLiteral("Error opening Web Browser."),
                    QMessageBox::Ok, owner);
    // Window-modal, so the tray stays responsive while the box is up.
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

} // namespace

HyperLink::HyperLink(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(QCursor(QPixmap(QStringLiteral(":/cursors/link-hand.png")), kCursorHotSpotX, kCursorHotSpotY));
    setToolTip(QString::fromUtf8(kProductWebAddress));
}

QString HyperLink::DisplayText()
{
    const QUrl url(QString::fromUtf8(kProductWebAddress));
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    return url.host() + path;
}

QFont HyperLink::LinkFont()
{
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(true);
    return font;
}

QSize HyperLink::sizeHint() const
{
    const QFontMetrics metrics(LinkFont());
    return {metrics.horizontalAdvance(DisplayText()), metrics.height()};
}

void HyperLink::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setFont(LinkFont());
    painter.setPen(QColor(0, 0, 255));
    painter.drawText(rect(), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, DisplayText());
}

void HyperLink::open()
{
    OpenWebAddress(this);
}

void HyperLink::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        open();
    QWidget::mousePressEvent(event);
}
