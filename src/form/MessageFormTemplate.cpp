#include "form/MessageFormTemplate.h"

#include "form/PhraseBoxes.h"
#include "form/WrapCheckBox.h"
#include "store/RecipientTable.h"

#include <QLabel>
#include <QPixmap>

#include <vector>

namespace {

using namespace FormControl;

// The attachment indicator: the picture at its own size, centred in its box.
QWidget *MakeAttachmentIndicator(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(QPixmap(QStringLiteral(":/icons/attachment.png")));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

constexpr char kAutoCloseCaption[] = "Auto close a&fter send";

// Two lines in a narrow box: a plain check box would cut its text off.
QWidget *MakeAutoCloseBox(QWidget *parent)
{
    return new WrapCheckBox(QString::fromUtf8(kAutoCloseCaption), parent);
}

std::vector<ControlSpec> MakeControls()
{
    std::vector<ControlSpec> c;
    c.push_back({kNoId, ControlKind::GroupBox, "To:", {5, 3, 203, 286}});
    for (int i = 0; i < kRecipientCount; ++i) {
        const int column = i / 20;
        const int row = i % 20;
        c.push_back({FirstRecipient + i, ControlKind::CheckBox, "", {11 + 95 * column, 17 + 13 * row, 90, 10}});
    }
    c.push_back({EditRecipients, ControlKind::PushButton, "&Edit Recipients...", {6, 294, 71, 14}});
    c.push_back({Setup, ControlKind::PushButton, "Set&up", {81, 294, 47, 14}});
    c.push_back({SelectAll, ControlKind::CheckBox, "Select all recipie&nts", {133, 297, 75, 10}});
    c.push_back({AppIcon, ControlKind::Icon, ":/icons/quorvane-32.png", {5, 311, 20, 20}, kNoId, "Quorvane"});
    c.push_back({Help, ControlKind::PushButton, "&Help", {29, 314, 47, 14}});
    c.push_back({About, ControlKind::PushButton, "&About", {81, 314, 47, 14}});
    c.push_back({Attach, ControlKind::PushButton, kAttachCaption, {132, 314, 49, 14}});
    c.push_back({AttachmentIndicator, ControlKind::Custom, "", {184, 316, 12, 10}, kNoId, "Attached file",
                 MakeAttachmentIndicator});
    c.push_back({AttachmentName, ControlKind::PathLabel, "", {199, 316, 117, 11}});

    c.push_back({kNoId, ControlKind::GroupBox, "From:", {214, 3, 213, 113}});
    c.push_back({kNoId, ControlKind::Label, "Date:", {221, 16, 25, 8}});
    c.push_back({Date, ControlKind::Label, "", {263, 16, 71, 10}});
    c.push_back({kNoId, ControlKind::Label, "Time:", {348, 16, 18, 8}});
    c.push_back({Time, ControlKind::Label, "", {370, 16, 33, 11}});
    c.push_back({kNoId, ControlKind::Label, "Name:", {221, 33, 39, 8}, CallerName});
    c.push_back({CallerName, ControlKind::LineEdit, "", {261, 30, 158, 15}});
    c.push_back({kNoId, ControlKind::Label, "Company:", {221, 51, 39, 8}, CallerCompany});
    c.push_back({CallerCompany, ControlKind::LineEdit, "", {261, 48, 158, 15}});
    c.push_back({kNoId, ControlKind::Label, "Phone:", {221, 69, 39, 8}, CallerPhone});
    c.push_back({CallerPhone, ControlKind::LineEdit, "", {261, 66, 158, 15}});
    c.push_back({kNoId, ControlKind::Label, "Email:", {221, 87, 39, 8}, CallerEmail});
    c.push_back({CallerEmail, ControlKind::LineEdit, "", {261, 84, 158, 15}});
    c.push_back({CcCaller, ControlKind::CheckBox, "Email caller a CC of t&his message", {228, 102, 153, 10}});

    c.push_back({kNoId, ControlKind::GroupBox, "Message (10,000 characters Maximum)", {214, 123, 213, 166},
                 MessageText});
    c.push_back({MessageText, ControlKind::TextEdit, "", {222, 133, 197, 56}});
    c.push_back({PhraseBox::VisitedToSeeYou, ControlKind::CheckBox, "Visited to see you", {228, 192, 76, 10}});
    c.push_back({PhraseBox::WillVisitAnotherTime, ControlKind::CheckBox, "Will visit another time", {228, 205, 83, 10}});
    c.push_back({PhraseBox::LeftItems, ControlKind::CheckBox, "Left item(s)", {228, 218, 64, 10}});
    c.push_back({PhraseBox::PleaseContactViaEmail, ControlKind::CheckBox, "Please contact via Email", {228, 231, 91, 10}});
    c.push_back({PhraseBox::WillSendYouAnEmail, ControlKind::CheckBox, "Will send you an Email", {228, 244, 90, 10}});
    c.push_back({PhraseBox::Custom1, ControlKind::CheckBox, "A short message", {228, 257, 95, 10}});
    c.push_back({PhraseBox::Custom2, ControlKind::CheckBox, "A much longer message that you could use", {228, 270, 181, 10}});
    c.push_back({PhraseBox::Telephoned, ControlKind::CheckBox, "Telephoned", {329, 192, 64, 10}});
    c.push_back({PhraseBox::PleaseCallBack, ControlKind::CheckBox, "Please call back", {329, 205, 85, 10}});
    c.push_back({PhraseBox::ReturnedYourCall, ControlKind::CheckBox, "Returned your call", {329, 218, 92, 10}});
    c.push_back({PhraseBox::WillCallBackLater, ControlKind::CheckBox, "Will call back later", {329, 231, 77, 10}});
    c.push_back({PhraseBox::NotUrgent, ControlKind::CheckBox, "Not Urgent", {329, 244, 87, 10}});
    c.push_back({PhraseBox::Urgent, ControlKind::CheckBox, "URGENT", {329, 257, 64, 10}});

    c.push_back({KeepOnTop, ControlKind::CheckBox, "&Keep on top", {228, 296, 87, 12}});
    c.push_back({AutoClose, ControlKind::Custom, kAutoCloseCaption, {322, 293, 49, 18}, kNoId, {}, MakeAutoCloseBox});
    c.push_back({Close, ControlKind::PushButton, "&Close", {322, 314, 44, 14}});
    c.push_back({Send, ControlKind::DefaultButton, "&Send", {375, 295, 50, 33}});
    return c;
}

} // namespace

const DialogTemplate &MessageFormTemplate()
{
    static const std::vector<ControlSpec> controls = MakeControls();
    static const DialogTemplate tpl{"Quorvane", 434, 334, controls};
    return tpl;
}

void ApplyMessageFormTabOrder(const DialogControls &controls)
{
    SetTabOrder(controls, {CallerName, CallerCompany, CallerPhone, CallerEmail, MessageText,
                           PhraseBox::Telephoned, PhraseBox::PleaseCallBack, PhraseBox::ReturnedYourCall,
                           PhraseBox::WillSendYouAnEmail, PhraseBox::Urgent, PhraseBox::VisitedToSeeYou,
                           PhraseBox::WillVisitAnotherTime, PhraseBox::LeftItems,
                           PhraseBox::PleaseContactViaEmail, PhraseBox::NotUrgent, Send, Close,
                           FirstRecipient});
    for (int i = 1; i < kRecipientCount; ++i)
        SetTabOrder(controls, {FirstRecipient + i - 1, FirstRecipient + i});
    SetTabOrder(controls, {FirstRecipient + kRecipientCount - 1, EditRecipients, AutoClose, Setup, Help, About,
                           PhraseBox::WillCallBackLater, PhraseBox::Custom1, PhraseBox::Custom2, SelectAll,
                           CcCaller, Attach, KeepOnTop});
}
