#pragma once

#include "mail/AccessTokenForSend.h"
#include "mail/ClearPassword.h"
#include "mail/MailComposer.h"
#include "mail/MailServiceTransport.h"
#include "mail/MailTransportOptions.h"
#include "mail/TokenEndpoint.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Logging in with a mail provider's sign-in (OAuth 2.0, SASL XOAUTH2) instead
// of the password: the access token held from the last send, if any, and what
// it takes to get a new one when it has a minute or less left.
struct SignedInLogin {
    HeldAccessToken held;
    TokenRefreshRequest refresh;
    // Over SMTP with the token, or through the provider's mail service at
    // apiUrl (empty: the service's own address), which needs no server.
    SendThrough through = SendThrough::Smtp;
    QString apiUrl = {};
};

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
    QByteArray userName;     // with authentication or a sign-in
    ClearPassword password;  // only with authentication
    // Set: the login is the sign-in, with userName as the account, under the
    // same TLS rules as a password; the password is not used.
    std::optional<SignedInLogin> signIn;
    MailTransportOptions options;

    DeliveryJob() = default;
    DeliveryJob(DeliveryJob &&) noexcept = default;
    DeliveryJob &operator=(DeliveryJob &&) noexcept = default;
};

struct DeliveryOutcome {
    bool sent = false;
    QString failure; // why not, when !sent
    // The service is busy or away: the same send may work later, after
    // retryAfter seconds where it said so.
    bool mayWorkLater = false;
    int retryAfter = -1;
    // Signed in: the access token that went through, to hold for the next
    // send (empty when it did not); and the refresh token the provider
    // rotated to, to store in place of the old, which is spent now whether or
    // not the mail went out.
    HeldAccessToken accessToken;
    QByteArray newRefreshToken;
    // Signed in, and the sign-in is over: the provider would give no new
    // token, or the mail server refused a fresh one. Only signing in again helps.
    bool signInOver = false;
};

// Checks the attachment, composes the mail, plans the transport, gets a fresh
// access token when signed in and the held one is (nearly) spent, and submits
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
