#pragma once

#include <QString>

#include <cstdint>

// The mail being sent, as rendering leaves it for delivery.
struct OutgoingMessage {
    QString toList;        // addresses of the ticked recipients, joined by ";"
    QString subject;       // "Message From: " + callerName
    QString textBody;      // plain-text body; rebuilt only in text mode
    QString htmlFilePath;  // the rendered HTML body file; rebuilt only in HTML mode
    QString htmlFileUrl;   // file:// URL of htmlFilePath
    QString callerName;
    QString callerCompany;
    QString callerPhone;
    QString callerEmail;
    QString messageText;   // in HTML mode, its HTML form
    std::int32_t importance = 1; // 0 low, 1 normal, 2 high
    std::int32_t hasAttachment = 0;
    QString attachmentPath;
    QString attachmentName;
    QString fromAddress;   // senderName + " <" + senderAddress + ">"
};
