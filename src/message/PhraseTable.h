#pragma once

#include <array>

// The standard phrases of a message, in the order they are printed. The
// form's boxes, the rendering and the Custom Messages sample all read this one
// table.
namespace Phrase {
enum Id : int {
    NotUrgent,
    Urgent,
    VisitedToSeeYou,
    WillVisitAnotherTime,
    LeftItems,
    PleaseContactViaEmail,
    Telephoned,
    PleaseCallBack,
    ReturnedYourCall,
    WillCallBackLater,
    Custom1,
    WillSendYouAnEmail,
    Custom2,
};
} // namespace Phrase

struct PhraseRow {
    Phrase::Id id;
    const char *caption; // on the form's box; a placeholder for a custom phrase
    const char *printed; // in the message; null: the custom phrase from the settings
};

inline constexpr std::array<PhraseRow, 13> kPhrases{{
    {Phrase::NotUrgent, "Not Urgent", "Not Urgent"},
    {Phrase::Urgent, "URGENT", "URGENT"},
    {Phrase::VisitedToSeeYou, "Visited to see you", "Visited to see you"},
    {Phrase::WillVisitAnotherTime, "Will visit another time", "Will visit another time"},
    {Phrase::LeftItems, "Left item(s)", "Left item(s)"},
    // The box says "Email"; the phrase has always been printed with "email".
    {Phrase::PleaseContactViaEmail, "Please contact via Email", "Please contact via email"},
    {Phrase::Telephoned, "Telephoned", "Telephoned"},
    {Phrase::PleaseCallBack, "Please call back", "Please call back"},
    {Phrase::ReturnedYourCall, "Returned your call", "Returned your call"},
    {Phrase::WillCallBackLater, "Will call back later", "Will call back later"},
    {Phrase::Custom1, "A short message", nullptr},
    {Phrase::WillSendYouAnEmail, "Will send you an Email", "Will send you an Email"},
    {Phrase::Custom2, "A much longer message that you could use", nullptr},
}};

inline constexpr int kPhraseCount = static_cast<int>(kPhrases.size());

constexpr const PhraseRow &PhraseRowOf(Phrase::Id id)
{
    return kPhrases[static_cast<std::size_t>(id)];
}
