#pragma once

#include "mail/MailTransportOptions.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <functional>

// One HTTP request to a mail service's API, waited for on the calling
// thread: what the sending thread needs of HTTP, and nothing more.
struct HttpRequest {
    QByteArray method = "POST";        // "POST" or "PUT"
    QUrl url;                          // https, or http to this machine only
    QList<QByteArray> headers;         // "Name: value"
    const char *bearer = nullptr;      // zero-terminated access token; none: no Authorization
    // The body: bytes, or a reader of exactly bodyLength bytes (a message
    // stream too big to hold), which returns what it filled, -1 on failure.
    QByteArray body;
    std::function<std::int64_t(char *, std::size_t)> read;
    std::int64_t bodyLength = 0;
    MailTransportOptions options;
};

struct HttpReply {
    bool answered = false;   // a status came back; else failure says why not
    long status = 0;
    QByteArray body;         // the first 1 MB of it
    QByteArray location;     // the Location header, if any
    int retryAfter = -1;     // seconds of a Retry-After header; -1: none
    QString failure;
};

// Never follows a redirect, never waits longer than the options' timeouts
// for a service that stops answering. Safe on any thread.
HttpReply HttpExchange(const HttpRequest &request);
