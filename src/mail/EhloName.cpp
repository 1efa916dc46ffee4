#include "mail/EhloName.h"

#include <QList>

#include <algorithm>
#include <memory>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo *list) const { freeaddrinfo(list); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoDeleter>;

QByteArray SystemHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return QByteArray(name);
}

// The name the resolver gives as canonical for hostName: what /etc/hosts or
// DNS calls this machine in full ("desk1.office.example" for "desk1").
QByteArray CanonicalName(const QByteArray &hostName)
{
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (hostName.isEmpty() || getaddrinfo(hostName.constData(), nullptr, &hints, &found) != 0)
        return {};
    const AddrInfoPtr list(found);
    return list->ai_canonname ? QByteArray(list->ai_canonname) : QByteArray();
}

// The local address the kernel would send from to reach server: a datagram
// socket's connect picks the route without a packet going out.
QByteArray LocalAddressTowards(const QString &server, int port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const QByteArray host = server.toUtf8();
    const QByteArray service = QByteArray::number(port);
    if (getaddrinfo(host.constData(), service.constData(), &hints, &found) != 0)
        return {};
    const AddrInfoPtr list(found);
    for (const addrinfo *a = list.get(); a; a = a->ai_next) {
        const int s = ::socket(a->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (s < 0)
            continue;
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        const bool ok = ::connect(s, a->ai_addr, a->ai_addrlen) == 0 &&
                        ::getsockname(s, reinterpret_cast<sockaddr *>(&local), &length) == 0;
        ::close(s);
        if (!ok)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        const void *raw = local.ss_family == AF_INET6
                              ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(&local)->sin6_addr)
                              : static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(&local)->sin_addr);
        if (inet_ntop(local.ss_family, raw, text, sizeof text))
            return QByteArray(text);
    }
    return {};
}

} // namespace

bool IsFullyQualifiedName(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    if (lower == "localhost" || lower.startsWith("localhost.") || lower.endsWith(".localhost"))
        return false;
    const QList<QByteArray> labels = name.split('.');
    if (labels.size() < 2)
        return false;
    return std::all_of(labels.begin(), labels.end(), [](const QByteArray &label) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith('-') || label.endsWith('-'))
            return false;
        return std::all_of(label.begin(), label.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        });
    });
}

QByteArray AddressLiteral(const QByteArray &address)
{
    QByteArray plain = address;
    if (const qsizetype scope = plain.indexOf('%'); scope >= 0)
        plain.truncate(scope);
    in_addr v4{};
    if (inet_pton(AF_INET, plain.constData(), &v4) == 1)
        return "[" + plain + "]";
    in6_addr v6{};
    if (inet_pton(AF_INET6, plain.constData(), &v6) != 1)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (IN6_IS_ADDR_V4MAPPED(&v6)) {
        if (!inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text))
            return {};
        return "[" + QByteArray(text) + "]";
    }
    if (!inet_ntop(AF_INET6, &v6, text, sizeof text))
        return {};
    return "[IPv6:" + QByteArray(text) + "]";
}

QByteArray EhloName(const QString &hostName, const QString &server, int port)
{
    QByteArray name = hostName.isEmpty() ? SystemHostName() : hostName.toUtf8();
    if (name.endsWith('.'))
        name.chop(1);
    if (IsFullyQualifiedName(name))
        return name;
    QByteArray canonical = CanonicalName(name);
    if (canonical.endsWith('.'))
        canonical.chop(1);
    if (IsFullyQualifiedName(canonical))
        return canonical;
    const QByteArray literal = AddressLiteral(LocalAddressTowards(server, port));
    if (!literal.isEmpty())
        return literal;
    // No route to the server either: the connection will fail on its own,
    // and its reason says more than anything said here. Never the raw name:
    // it goes into the URL and the greeting, and could hold anything.
    return "localhost";
}
