#pragma once

#include <QCheckBox>

// A check box whose text wraps onto further lines within its width, for boxes
// laid out narrower than their text. The text itself, mnemonic included, is
// kept as given.
class WrapCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

    // Where the text goes: beside the indicator, the rest of the box.
    QRect textRect() const;
    static constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};
