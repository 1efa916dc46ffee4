#pragma once

#include <QFrame>

// A picture of a corner of the message form's phrase boxes, showing where the
// two custom phrases appear among the fixed ones. Drawn with the desktop's
// own check boxes so it looks like the form the user will see.
class SamplePreview : public QFrame {
    Q_OBJECT
public:
    explicit SamplePreview(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
