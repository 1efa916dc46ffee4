#pragma once

#include <QLabel>

// A picture that reports a click, as the program icon of the About dialog
// does: pressed and released over it.
class ClickableIcon : public QLabel {
    Q_OBJECT
public:
    ClickableIcon(const QPixmap &picture, QWidget *parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
