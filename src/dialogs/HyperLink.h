#pragma once

#include <QWidget>

// The product's web address, blue and underlined. Pressing the mouse button
// on it (not releasing it) opens the address in the user's browser; when no
// browser can be started, a "Launch Error" box says so. It has no keyboard
// action.
class HyperLink : public QWidget {
    Q_OBJECT
public:
    explicit HyperLink(QWidget *parent = nullptr);

    // What the link shows: the address without its scheme, so it fits.
    static QString DisplayText();
    // Verdana 10 pt underlined, or the nearest face installed.
    static QFont LinkFont();

    QSize sizeHint() const override;

    // Opens the address as a press of the mouse button does.
    void open();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
};
