#pragma once

#include "message/PhraseTable.h"
#include "widgets/DialogTemplate.h"

#include <array>

// Control ids of the message form.
namespace FormControl {
inline constexpr int FirstRecipient = 1300; // recipient i is box 1300 + i
inline constexpr int EditRecipients = 1032;
inline constexpr int Setup = 1060;
inline constexpr int SelectAll = 3022;
inline constexpr int AppIcon = 3002;
inline constexpr int Help = 1062;
inline constexpr int About = 1063;
inline constexpr int Attach = 3025;
inline constexpr int AttachmentIndicator = 168;
inline constexpr int AttachmentName = 3026;
inline constexpr int Date = 1061;
inline constexpr int Time = 1064;
inline constexpr int CallerName = 1031;
inline constexpr int CallerCompany = 1033;
inline constexpr int CallerPhone = 1034;
inline constexpr int CallerEmail = 1035;
inline constexpr int CcCaller = 3023;
inline constexpr int MessageText = 1036;
inline constexpr int KeepOnTop = 3029;
inline constexpr int AutoClose = 1059;
inline constexpr int Close = 2;
inline constexpr int Send = 1000;
} // namespace FormControl

// Control ids of the phrase boxes.
namespace PhraseBox {
inline constexpr int NotUrgent = 1054;
inline constexpr int Urgent = 1051;
inline constexpr int VisitedToSeeYou = 1037;
inline constexpr int WillVisitAnotherTime = 1039;
inline constexpr int LeftItems = 1038;
inline constexpr int PleaseContactViaEmail = 1040;
inline constexpr int Telephoned = 1052;
inline constexpr int PleaseCallBack = 1053;
inline constexpr int ReturnedYourCall = 1055;
inline constexpr int WillCallBackLater = 3014;
inline constexpr int Custom1 = 3016;
inline constexpr int WillSendYouAnEmail = 1056;
inline constexpr int Custom2 = 3017;
} // namespace PhraseBox

// The box of each phrase, in the order of kPhrases.
inline constexpr std::array<int, kPhraseCount> kPhraseBoxIds = {
    PhraseBox::NotUrgent,        PhraseBox::Urgent,         PhraseBox::VisitedToSeeYou,
    PhraseBox::WillVisitAnotherTime, PhraseBox::LeftItems,  PhraseBox::PleaseContactViaEmail,
    PhraseBox::Telephoned,       PhraseBox::PleaseCallBack, PhraseBox::ReturnedYourCall,
    PhraseBox::WillCallBackLater, PhraseBox::Custom1,       PhraseBox::WillSendYouAnEmail,
    PhraseBox::Custom2,
};

inline constexpr char kAttachCaption[] = "A&ttach file...";
inline constexpr char kDetachCaption[] = "&Detach file...";

// The message form's controls, recipients first as the form draws them.
const DialogTemplate &MessageFormTemplate();

// The keyboard order, which is not the order the controls are drawn in.
void ApplyMessageFormTabOrder(const DialogControls &controls);
