#include "mail/TransportPolicy.h"

#include <arpa/inet.h>

#include <cstring>

namespace {

QString Unbracketed(const QString &host)
{
    if (host.startsWith(u'[') && host.endsWith(u']'))
        return host.mid(1, host.size() - 2);
    return host;
}

} // namespace

bool IsLoopbackHost(const QString &host)
{
    const QString h = Unbracketed(host.trimmed());
    // libcurl answers "localhost" itself with the loopback address; any other
    // name, "localhost." included, goes to the resolver, which may answer
    // with any address at all.
    if (h.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray text = h.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1)
        return std::memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
    return false;
}

TransportPlan PlanTransport(const QString &server, std::int32_t port, bool useAuthentication,
                            const MailTransportOptions &options)
{
    TransportPlan plan;
    const QString host = server.trimmed();
    if (host.isEmpty()) {
        plan.failure = QStringLiteral("No SMTP server is set");
        return plan;
    }
    // libcurl would quietly take port 0 as the scheme's default port.
    if (port < 1 || port > 65535) {
        plan.failure = QStringLiteral("The SMTP port %1 is not a port number").arg(port);
        return plan;
    }
    const QString bare = Unbracketed(host);
    plan.host = bare.contains(u':') ? u'[' + bare + u']' : bare;
    plan.port = port;
    plan.implicitTls = port == options.implicitTlsPort;
    if (useAuthentication) {
        // Traffic that never leaves this machine cannot be read or redirected
        // on the way, so a local relay may go without TLS and with a
        // certificate of its own making.
        const bool local = options.loopbackMaySkipTls && IsLoopbackHost(host);
        plan.tlsRequired = !local;
        plan.verifyCertificate = !local;
    }
    plan.ok = true;
    return plan;
}
