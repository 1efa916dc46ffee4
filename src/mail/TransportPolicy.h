#pragma once

#include "mail/MailTransportOptions.h"

#include <QString>

#include <cstdint>

// How one send reaches the server: which scheme, whether TLS is required, and
// whether the server's certificate must be verified.
//
// Credentials never leave this machine in the clear or to an unverified
// server: with authentication on, TLS is required and the certificate
// verified, except for a server on the loopback interface, which may do
// without either. With authentication off, TLS is taken whenever
// the server offers it, without verification, as between mail servers, so an
// office relay with a certificate of its own keeps working.
struct TransportPlan {
    bool ok = false;
    QString failure;          // why not, when !ok
    QString host;             // as the URL wants it: an IPv6 literal in brackets
    int port = 0;
    bool implicitTls = false; // smtps: TLS from the first byte
    bool tlsRequired = false; // plain smtp: fail unless STARTTLS succeeds
    bool verifyCertificate = false;
};

TransportPlan PlanTransport(const QString &server, std::int32_t port, bool useAuthentication,
                            const MailTransportOptions &options);

// A literal address in 127.0.0.0/8 or ::1, or the name "localhost" itself,
// which libcurl never asks the resolver for; no other name, however local it
// looks.
bool IsLoopbackHost(const QString &host);
