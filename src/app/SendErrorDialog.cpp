#include "app/SendErrorDialog.h"

#include "dialogs/DialogTemplate.h"

#include <QLabel>
#include <QPushButton>

#include <vector>

namespace {

constexpr int kDetail = 171;
// Room for the reason: four lines of text, enough for an address of 127
// characters and the words around it.
constexpr int kDetailHeight = 34;

// The dialog as it always was; with a reason for the failure, a line for it
// above OK, and the dialog taller by as much.
std::vector<ControlSpec> Controls(bool withDetail, int extra)
{
    std::vector<ControlSpec> controls = {
        {1, ControlKind::DefaultButton, "&OK", {65, 103 + extra, 50, 14}},
        {kNoId, ControlKind::Label, "An error occurred during the last message send. Check settings.",
         {39, 10, 115, 19}},
        {kNoId, ControlKind::Label,
         "Note that some mail servers reject large attachments (e.g. over 10 MB).\n\n"
         "Too many recepients may also cause a send error.",
         {7, 37, 168, 39}},
        {170, ControlKind::Icon, ":/icons/error.png", {5, 6, 21, 20}, kNoId, QStringLiteral("Error")},
        {kNoId, ControlKind::Label, "Check all email addresses are correct, including any caller CC address typed in.",
         {7, 79, 144, 16}},
    };
    if (withDetail)
        controls.push_back({kDetail, ControlKind::Label, "", {7, 99, 168, kDetailHeight}});
    return controls;
}

} // namespace

SendErrorDialog::SendErrorDialog(QWidget *owner, const QString &detail) : QDialog(owner)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const bool withDetail = !detail.isEmpty();
    const int extra = withDetail ? kDetailHeight + 4 : 0;
    const std::vector<ControlSpec> controls = Controls(withDetail, extra);
    const DialogControls built = BuildDialog(this, DialogTemplate{"Quorvane Send Error", 182, 126 + extra, controls});
    if (withDetail)
        built.get<QLabel>(kDetail)->setText(detail);
    connect(built.get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
}
