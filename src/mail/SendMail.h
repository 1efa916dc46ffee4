#pragma once

#include "mail/MailTransportOptions.h"

#include <QString>

struct AppState;

// Sends one taken message: from is "name <address>", to the ";" list of
// addresses, subject and textBody as rendered. Everything else comes from
// state: the SMTP settings, activeSmtpServer, activeSendAsHtml (the body is
// then the page at message.htmlFileUrl), the caller's copy, the sender's
// blind copy, the attachment and the importance. Returns 0 when the server
// accepted the message for every recipient, 1 otherwise.
//
// Writes nothing in state but passwordScratch, which holds the clear password
// only during the call and is all zero afterwards, whatever the outcome.
// Uses no GUI class and no shared mutable data, so the program may run it on
// a worker thread while the interface waits.
int SendMail(AppState &state, const QString &from, const QString &to, const QString &subject, const QString &textBody,
             const MailTransportOptions &options = {});

// The same send, with the reason when it fails (for tests and diagnostics;
// the program shows only the outcome).
struct SendMailOutcome {
    int result = 1;
    QString failure;
};
SendMailOutcome SendMailWithReason(AppState &state, const QString &from, const QString &to, const QString &subject,
                                   const QString &textBody, const MailTransportOptions &options = {});
