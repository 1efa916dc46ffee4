#pragma once

#include "message/PhraseTable.h"
#include "store/RecipientTable.h"

#include <QSet>
#include <QString>

#include <array>

// What the message form shows at the moment of Send: all rendering needs
// from it, gathered by the form so that rendering stays free of widgets.
struct MessageFormInputs {
    std::array<bool, kRecipientCount> recipientTicked{}; // box i is recipient i
    QSet<Phrase::Id> tickedPhrases;
    QString callerName;
    QString callerCompany;
    QString callerPhone;
    QString callerEmail;
    QString messageText; // line breaks already turned into "\r\n"
};
