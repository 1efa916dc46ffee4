#pragma once

#include <QByteArray>
#include <QString>

// What this machine calls itself in EHLO (RFC 5321, 4.1.4): its fully
// qualified domain name when it has one, otherwise the address literal of
// the local address a connection to the server leaves from. Servers that
// insist on a fully qualified name (Postfix's reject_non_fqdn_helo_hostname,
// common on relays) refuse a bare host name such as "desk1".
//
// hostName is the machine's own name; empty: the system's. The lookups can
// wait on the resolver, so this runs on the sending thread.
QByteArray EhloName(const QString &hostName, const QString &server, int port);

// A name fit for EHLO as it stands: at least two labels of letters, digits
// and hyphens, none empty or longer than 63, and not one of the names for
// the loopback interface.
bool IsFullyQualifiedName(const QByteArray &name);

// "[192.0.2.10]" or "[IPv6:2001:db8::1]" for a numeric address ("::ffff:"
// IPv4 addresses in their IPv4 form, a scope dropped); empty when address
// is not one.
QByteArray AddressLiteral(const QByteArray &address);
