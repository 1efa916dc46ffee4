#pragma once

// Control ids of the message form's phrase check boxes.
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
