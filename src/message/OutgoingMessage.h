#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>

// The mail being sent, as rendering returns it for delivery.
struct OutgoingMessage {
    QString toList;        // the ticked recipients, joined by ";": a bare address with the table's name
                           // ("Alice Able <alice@example.org>"), any other entry as written
    QString subject;       // "Message From: " + callerName
    bool html = false;     // the body is htmlPage, else textBody
    QString textBody;      // plain-text body; text mode only
    QString htmlPage;      // the HTML body, as also written to the page file; HTML mode only
    QString callerName;
    QString callerCompany;
    QString callerPhone;
    QString callerEmail;
    QString messageText;   // in HTML mode, its HTML form
    std::int32_t importance = 1; // 0 low, 1 normal, 2 high
    QString attachmentPath; // the file sent with it; empty: none
};

Q_DECLARE_METATYPE(OutgoingMessage)
