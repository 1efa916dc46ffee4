#pragma once

#include "mail/AddressList.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// The file sent with a message, as delivery found it when the send began.
struct MailAttachment {
    QString path;
    QString fileName;
    QByteArray mediaType;
};

// One message as the sender gave it, before any encoding: texts as typed,
// the ";" list of addressees, which copies apply, and the body sources.
struct MailDraft {
    QString from;                   // "name <address>"; without an address nothing is sent
    QString to;                     // addresses as written, separated by ";" or ","
    QString subject;
    std::optional<QString> cc;      // the caller's copy, when it applies; may be "name <address>"
    std::optional<QString> bcc;     // the sender's blind copy, when it applies
    bool html = false;              // body from htmlPage, else from textBody
    QString textBody;
    QString htmlPage;
    std::optional<MailAttachment> attachment;
    std::int32_t importance = 1;    // 0 low, 1 normal, 2 high
    QDateTime date;
    QByteArray messageId;           // without the angle brackets
};

// The message ready for the wire: envelope, header lines and bodies, all in
// their transfer form except the body encodings, which the MIME tree adds.
struct ComposedMail {
    bool ok = false;
    QString failure;                        // why not, when !ok

    QByteArray envelopeFrom;                // never empty
    QList<QByteArray> envelopeRecipients;   // each once, in order of first mention
    QList<QByteArray> headers;              // "Name: value" lines, folded, no final CR LF

    // The same message as values, for a service that takes it that way
    // (a draft made through a mail service's API) rather than as bytes.
    QString subject;
    QList<MailAddress> to, cc, bcc;
    QByteArray bccHeader;                   // "Bcc: ..." for a service that reads it off the message; empty: none
    std::int32_t importance = 1;

    QByteArray plainText;                   // UTF-8 with CR LF line ends
    QByteArray html;                        // UTF-8 with CR LF line ends; HTML mode only
    bool hasHtml = false;

    struct Attachment {
        QString path;
        QString fileName;                   // as the reader sees it
        QByteArray mediaType;               // "type/subtype"
        QByteArray disposition;             // value of Content-Disposition
    };
    std::optional<Attachment> attachment;
};

ComposedMail ComposeMail(const MailDraft &draft);

// A fresh Message-ID for mail from this sender: random, at the sender's
// domain when it has a usable one.
QByteArray NewMessageId(const QString &senderAddress);

// Whether an address can go into RCPT TO or MAIL FROM as it stands: no
// blanks, control characters or angle brackets that could end the command
// early or start another one.
bool IsSafeEnvelopeAddress(const QString &address);
