#pragma once

#include <QList>
#include <QString>

// Addresses as people write them: "bob@example.org", "Bob Smith
// <bob@example.org>", "\"Smith, Bob\" <bob@example.org>", and lists of these
// separated by "," or ";". Plain data in, plain data out.

struct MailAddress {
    QString displayName; // unquoted, as the reader should see it; may be empty
    QString address;     // the bare address that goes on the envelope
};

struct AddressList {
    bool ok = true;
    QList<MailAddress> addresses; // in the order written; empty entries skipped
    QString badEntry;             // when !ok: the entry as written
    QString reason;               // when !ok: why it cannot be used
};

// Refuses only what cannot be sent safely or read as an address: a line
// break or other control character, no "@", blanks or brackets inside the
// address, an angle bracket or a quote left open.
AddressList ParseAddressList(const QString &text);
