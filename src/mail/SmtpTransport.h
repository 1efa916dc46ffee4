#pragma once

#include "mail/MailTransportOptions.h"

#include <QByteArray>
#include <QString>

struct ComposedMail;
struct TransportPlan;

// Log-in details for one send. The password or access token is read where
// it lies (the caller's buffer) and not copied by us.
struct SmtpCredentials {
    QByteArray userName;
    const char *password = nullptr; // zero-terminated
    // Zero-terminated; when set, the login is SASL XOAUTH2 with this OAuth
    // access token instead of the password, under the same TLS rules.
    const char *bearerToken = nullptr;
};

struct TransportResult {
    bool sent = false;
    QString failure; // why not, when !sent
    // A mail service's API said: the access token was not taken (401: a
    // fresh one may do); the sign-in cannot send and must be made again; or
    // the service is busy or down and the same send may work later, after
    // retryAfter seconds where it said so (-1: it did not).
    bool tokenRefused = false;
    bool signInOver = false;
    bool mayWorkLater = false;
    int retryAfter = -1;
    // The server refused the login itself (a password or token it does not
    // take), with its reason: the JSON error of a refused token's 334
    // challenge, else its refusal line.
    bool loginRefused = false;
    QString loginRefusal{};
};

// Submits one composed mail over SMTP as the plan says. Sent means the server
// accepted every recipient and then the message itself; anything else, a
// recipient refused included, is a failure. Safe to call from any thread;
// never waits longer than the options' timeouts for a server that stops
// answering.
TransportResult SubmitMail(const TransportPlan &plan, const SmtpCredentials *credentials, const ComposedMail &mail,
                           const MailTransportOptions &options);

// Starts libcurl and its TLS library, once per process: the first send does
// it otherwise. False when libcurl cannot start.
bool PrepareTransport();
