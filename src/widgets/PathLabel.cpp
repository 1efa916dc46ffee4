#include "widgets/PathLabel.h"

void PathLabel::setFullText(const QString &text)
{
    m_full = text;
    updateElided();
}

void PathLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateElided();
}

void PathLabel::updateElided()
{
    QLabel::setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, width()));
}
