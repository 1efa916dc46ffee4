#include "dialogs/SamplePreview.h"

#include "message/PhraseTable.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

struct SampleBox {
    int column; // 0 left, 1 right
    int row;
    Phrase::Id phrase;
};

// The form's phrase boxes around the two custom ones, in their places there.
constexpr SampleBox kSampleBoxes[] = {
    {0, 0, Phrase::PleaseContactViaEmail},
    {0, 1, Phrase::WillSendYouAnEmail},
    {0, 2, Phrase::Custom1},
    {0, 3, Phrase::Custom2},
    {1, 0, Phrase::WillCallBackLater},
    {1, 1, Phrase::NotUrgent},
    {1, 2, Phrase::Urgent},
};

constexpr int kRows = 4;
constexpr qreal kRightColumn = 0.68; // of the width

} // namespace

SamplePreview::SamplePreview(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
}

void SamplePreview::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);

    const QRect area = contentsRect().adjusted(3, 2, -1, -2);
    const int rowHeight = area.height() / kRows;
    QFont small = font();
    small.setPixelSize(std::max(6, rowHeight * 6 / 10));

    QPainter painter(this);
    painter.setClipRect(contentsRect());
    painter.setFont(small);
    for (const SampleBox &box : kSampleBoxes) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.fontMetrics = QFontMetrics(small);
        const PhraseRow &row = PhraseRowOf(box.phrase);
        option.text = QString::fromUtf8(row.caption);
        // The custom phrases are ticked so the eye finds them.
        const bool custom = row.printed == nullptr;
        option.state = QStyle::State_Enabled | (custom ? QStyle::State_On : QStyle::State_Off);
        const int x = area.x() + (box.column == 0 ? 0 : qRound(area.width() * kRightColumn));
        option.rect = QRect(x, area.y() + box.row * rowHeight, area.right() - x + 200, rowHeight);
        style()->drawControl(QStyle::CE_CheckBox, &option, &painter, this);
    }
}
