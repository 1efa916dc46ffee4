#include "widgets/WrapCheckBox.h"

#include <QStyleOptionButton>
#include <QStylePainter>

QRect WrapCheckBox::textRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    const int gap = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    QRect r = rect();
    r.setLeft(indicator.right() + 1 + gap);
    return r;
}

void WrapCheckBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    // The style draws the indicator and the focus frame; the text is drawn
    // here, wrapped, since the style would put it on one line.
    option.text.clear();
    painter.drawControl(QStyle::CE_CheckBox, option);
    int flags = kTextFlags;
    if (!style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
        flags = (flags & ~Qt::TextShowMnemonic) | Qt::TextHideMnemonic;
    painter.drawItemText(textRect(), flags, option.palette, isEnabled(), caption, QPalette::WindowText);
}

bool WrapCheckBox::hitButton(const QPoint &pos) const
{
    // Every line of the text is part of the box, not just the first.
    return rect().contains(pos);
}
