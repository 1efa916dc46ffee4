#pragma once

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

protected:
    void paintEvent(QPaintEvent *event) override;
};
