#include "widgets/ClickableIcon.h"

#include <QMouseEvent>

ClickableIcon::ClickableIcon(const QPixmap &picture, QWidget *parent) : QLabel(parent)
{
    setPixmap(picture);
    setScaledContents(true);
}

void ClickableIcon::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void ClickableIcon::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit clicked();
}
