#pragma once

#include <QImage>
#include <QPalette>
#include <QWidget>

// The small translucent "Message Sent" strip near the bottom-right corner.
// Shown without taking the focus, so the next message can be typed at once.
class NoticeWindow : public QWidget {
    Q_OBJECT
public:
    // Placed 200 pixels left of the right edge and 100 above the bottom of
    // the primary screen, measured once here.
    explicit NoticeWindow(QWidget *parent = nullptr);

    static inline const QString kText = QStringLiteral("Message Sent");

    // The strip as it is drawn: 63% opaque (alpha 160) when the desktop
    // blends windows, solid otherwise.
    static QImage picture(const QSize &size, const QPalette &palette, bool seeThrough, qreal pixelRatio = 1.0);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
