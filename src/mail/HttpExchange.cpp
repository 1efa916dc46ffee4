#include "mail/HttpExchange.h"

#include "mail/SmtpTransport.h"
#include "mail/TokenEndpoint.h"

#include <QDateTime>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr qsizetype kMaxReplyBody = 1024 * 1024;

struct EasyDeleter {
    void operator()(CURL *easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

struct Exchange {
    const HttpRequest *request = nullptr;
    std::int64_t sent = 0;
    HttpReply reply;

    static size_t readBody(char *buffer, size_t size, size_t count, void *self)
    {
        auto *e = static_cast<Exchange *>(self);
        const HttpRequest &r = *e->request;
        const std::size_t room = std::min<std::int64_t>(static_cast<std::int64_t>(size * count), r.bodyLength - e->sent);
        if (room == 0)
            return 0;
        std::int64_t n = 0;
        if (r.read) {
            n = r.read(buffer, room);
            if (n <= 0)
                return CURL_READFUNC_ABORT;
        } else {
            n = static_cast<std::int64_t>(room);
            std::memcpy(buffer, r.body.constData() + e->sent, room);
        }
        e->sent += n;
        return static_cast<size_t>(n);
    }

    static size_t writeBody(char *data, size_t size, size_t count, void *self)
    {
        auto *e = static_cast<Exchange *>(self);
        const qsizetype n = static_cast<qsizetype>(size * count);
        e->reply.body.append(data, std::min(n, kMaxReplyBody - e->reply.body.size()));
        return size * count;
    }

    static size_t header(char *data, size_t size, size_t count, void *self)
    {
        auto *e = static_cast<Exchange *>(self);
        const QByteArray line = QByteArray(data, static_cast<qsizetype>(size * count)).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "location")
                e->reply.location = value;
            else if (name == "retry-after")
                e->reply.retryAfter = RetryAfterSeconds(value);
        }
        return size * count;
    }

    static int RetryAfterSeconds(const QByteArray &value)
    {
        bool number = false;
        const qint64 seconds = value.toLongLong(&number);
        if (number)
            return static_cast<int>(std::clamp<qint64>(seconds, 0, 24 * 3600));
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(value), Qt::RFC2822Date);
        if (!at.isValid())
            return -1;
        return static_cast<int>(std::clamp<qint64>(QDateTime::currentDateTimeUtc().secsTo(at), 0, 24 * 3600));
    }
};

} // namespace

HttpReply HttpExchange(const HttpRequest &request)
{
    Exchange exchange;
    exchange.request = &request;
    HttpReply &reply = exchange.reply;
    if (!IsAllowedEndpoint(request.url)) {
        reply.failure = QStringLiteral("The mail service's address %1 must begin with https://")
                            .arg(request.url.toDisplayString(QUrl::RemoveUserInfo));
        return reply;
    }
    if (!PrepareTransport()) {
        reply.failure = QStringLiteral("The mail library could not start");
        return reply;
    }
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        reply.failure = QStringLiteral("Out of memory");
        return reply;
    }
    std::unique_ptr<curl_slist, ListDeleter> headers;
    // A body goes at once: no second's wait for a "100 Continue".
    QList<QByteArray> lines = request.headers;
    lines.append("Expect:");
    for (const QByteArray &line : std::as_const(lines)) {
        curl_slist *grown = curl_slist_append(headers.get(), line.constData());
        if (!grown) {
            reply.failure = QStringLiteral("Out of memory");
            return reply;
        }
        (void)headers.release();
        headers.reset(grown);
    }

    CURL *e = easy.get();
    const QByteArray url = request.url.toEncoded();
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_URL, url.constData());
    const QByteArray caFile = request.options.certificateAuthorityFile.toLocal8Bit();
    if (!caFile.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(request.options.connectTimeout.count()));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(request.options.stallTimeout.count()));
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    if (request.bearer) {
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_BEARER);
        curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, request.bearer);
    }
    curl_easy_setopt(e, CURLOPT_READFUNCTION, &Exchange::readBody);
    curl_easy_setopt(e, CURLOPT_READDATA, &exchange);
    if (request.method == "PUT") {
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.bodyLength));
    } else {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.bodyLength));
    }
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Exchange::writeBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Exchange::header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &exchange);

    const CURLcode code = curl_easy_perform(e);
    curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, nullptr);
    if (code != CURLE_OK) {
        reply.failure = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
        return reply;
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply.status);
    reply.answered = true;
    return reply;
}
