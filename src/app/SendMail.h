#pragma once

#include "mail/DeliveryJob.h"
#include "mail/MailTransportOptions.h"

#include <QString>

struct OutgoingMessage;
struct StoredData;

// The job that sends one rendered message as the settings say: from the
// sender's "name <address>" to the message's ";" list, with the caller's
// copy, the sender's blind copy, the attachment, the importance, the SMTP
// server and, with authentication on, the user name and the password
// recovered from its stored form into the job's own buffer. Built on the user
// interface thread; reads data and message, writes nothing.
DeliveryJob MakeDeliveryJob(const StoredData &data, const OutgoingMessage &message,
                            const MailTransportOptions &options = {});

// Delivers a job through the mail library, opened at the first send from
// libraryFolder (see ProgramLibraries.h). A library that cannot be opened fails
// the send like any other failure. Returns 0 when the server accepted the
// message for every recipient, 1 otherwise.
int SendMail(DeliveryJob job, const QString &libraryFolder);

// The same send, with the reason when it fails (the send-error dialog's
// line under its fixed text) and, signed in, the tokens to keep.
struct SendMailOutcome {
    int result = 1;
    QString failure;
    HeldAccessToken accessToken; // signed in: the one to send with next
    QByteArray newRefreshToken;  // the provider rotated it: store this one
    // It may go through later by itself (the network, the server or the
    // provider away or busy), after retryAfter seconds where one said so;
    // otherwise the user must mend something first.
    bool mayWorkLater = false;
    int retryAfter = -1;
    bool signInOver = false;     // signed in, and only signing in again helps
};
SendMailOutcome SendMailWithReason(DeliveryJob job, const QString &libraryFolder);
