#pragma once

#include "mail/ClearPassword.h"
#include "mail/MailComposer.h"
#include "mail/MailTransportOptions.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// One send, as plain values: built on the user interface thread from the
// settings and the rendered message, then moved whole to the thread that
// delivers it. Nothing in it points back at the program's state, and the
// clear password lives only in the job, wiped when the job ends.
struct DeliveryJob {
    MailDraft draft;         // everything but the attachment's file details
    QString attachmentPath;  // the file to send with it; empty: none
    QString server;
    std::int32_t port = 0;
    bool useAuthentication = false;
    QByteArray userName;
    ClearPassword password;  // only with authentication
    MailTransportOptions options;

    DeliveryJob() = default;
    DeliveryJob(DeliveryJob &&) noexcept = default;
    DeliveryJob &operator=(DeliveryJob &&) noexcept = default;
};

struct DeliveryOutcome {
    bool sent = false;
    QString failure; // why not, when !sent
};

// Checks the attachment, composes the mail, plans the transport and submits
// it. Sent means the server accepted the message for every recipient. Runs on
// any thread; touches nothing but the job.
DeliveryOutcome Deliver(DeliveryJob job);

// Gets ready what the first send would otherwise stop for: the start of
// libcurl and of the TLS library, and the media type database. Safe on any
// thread, as often as wanted.
void PrepareToDeliver();

// The entry points the program looks up when it opens the mail library at its
// first send: the library, with libcurl and the libraries it brings, is not
// loaded before then.
extern "C" {
using DeliverEntry = void (*)(DeliveryJob *job, DeliveryOutcome *outcome);
using PrepareEntry = void (*)();
}
inline constexpr char kDeliverEntryName[] = "QuorvaneDeliver";
inline constexpr char kPrepareEntryName[] = "QuorvanePrepareToDeliver";
