#pragma once

#include <QString>

#include <chrono>

// How delivery talks to the server beyond what the settings say. The program
// always uses the defaults; nothing in its settings reaches these. Tests set
// them to trust a certificate of their own and to give up on a silent server
// within seconds.
struct MailTransportOptions {
    // Giving up on a server that does not accept the connection.
    std::chrono::seconds connectTimeout{30};
    // Giving up on a transfer that has moved no data, or a server that has
    // not answered a command, for this long.
    std::chrono::seconds stallTimeout{60};
    // PEM certificates to verify servers against instead of the system's
    // trust store; empty: the system's store.
    QString certificateAuthorityFile;
    // The port that means TLS from the first byte (smtps).
    int implicitTlsPort = 465;
    // Whether a server on the loopback interface may take credentials
    // without TLS: such traffic never leaves the machine.
    bool loopbackMaySkipTls = true;
    // The machine's own name, from which the EHLO greeting's name follows;
    // empty: the system's host name.
    QString hostName;
};
