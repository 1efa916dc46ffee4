#include "mail/MailServiceTransport.h"

#include "mail/HttpExchange.h"
#include "mail/MailComposer.h"
#include "mail/MessageStream.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

constexpr std::int64_t kGraphRequestLimit = 4 * 1024 * 1024;
// Upload session chunks are multiples of 320 KiB; ten of them a request.
constexpr std::int64_t kGraphChunk = 10 * 320 * 1024;
constexpr std::int64_t kGmailSimpleLimit = 5 * 1024 * 1024;
constexpr std::int64_t kGmailLimit = 35 * 1024 * 1024;

TransportResult Failed(const QString &why)
{
    TransportResult result;
    result.failure = why;
    return result;
}

TransportResult Sent()
{
    TransportResult result;
    result.sent = true;
    return result;
}

// No answer at all: the network or the service is away for now.
TransportResult NoAnswer(const QString &service, const HttpReply &reply)
{
    TransportResult result = Failed(QStringLiteral("%1 could not be reached: %2").arg(service, reply.failure));
    result.mayWorkLater = true;
    return result;
}

QString Base(const QString &apiUrl, const char *fallback)
{
    QString base = apiUrl.trimmed().isEmpty() ? QString::fromLatin1(fallback) : apiUrl.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base;
}

QJsonArray Recipients(const QList<MailAddress> &addresses)
{
    QJsonArray out;
    for (const MailAddress &a : addresses) {
        QJsonObject address{{QStringLiteral("address"), a.address}};
        if (!a.displayName.isEmpty())
            address.insert(QStringLiteral("name"), a.displayName);
        out.append(QJsonObject{{QStringLiteral("emailAddress"), address}});
    }
    return out;
}

QString ImportanceWord(std::int32_t importance)
{
    return importance == 0 ? QStringLiteral("low") : importance == 2 ? QStringLiteral("high") : QStringLiteral("normal");
}

HttpRequest Request(const QByteArray &method, const QString &url, const char *token, const MailTransportOptions &options)
{
    HttpRequest request;
    request.method = method;
    request.url = QUrl(url);
    request.bearer = token;
    request.options = options;
    return request;
}

HttpRequest JsonRequest(const QString &url, const char *token, const QJsonObject &json, const MailTransportOptions &options)
{
    HttpRequest request = Request("POST", url, token, options);
    request.headers.append("Content-Type: application/json");
    request.body = QJsonDocument(json).toJson(QJsonDocument::Compact);
    request.bodyLength = request.body.size();
    return request;
}

// A draft of the whole message but its attachment, which Graph takes apart.
TransportResult GraphDraftSend(const QString &base, const char *token, const ComposedMail &mail,
                               const MailTransportOptions &options)
{
    const QString service = QStringLiteral("Microsoft 365");
    QJsonObject draft{
        {QStringLiteral("subject"), mail.subject},
        {QStringLiteral("importance"), ImportanceWord(mail.importance)},
        {QStringLiteral("body"),
         QJsonObject{{QStringLiteral("contentType"), mail.hasHtml ? QStringLiteral("HTML") : QStringLiteral("Text")},
                     {QStringLiteral("content"), QString::fromUtf8(mail.hasHtml ? mail.html : mail.plainText)}}},
        {QStringLiteral("toRecipients"), Recipients(mail.to)},
        {QStringLiteral("ccRecipients"), Recipients(mail.cc)},
        {QStringLiteral("bccRecipients"), Recipients(mail.bcc)},
    };
    HttpReply reply = HttpExchange(JsonRequest(base + QStringLiteral("/me/messages"), token, draft, options));
    if (!reply.answered)
        return NoAnswer(service, reply);
    if (reply.status != 201)
        return ServiceFailure(service, reply);
    const QString id = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("id")).toString();
    if (id.isEmpty())
        return Failed(QStringLiteral("Microsoft 365 made the draft but gave no id for it"));
    const QString message = base + QStringLiteral("/me/messages/") + QString::fromLatin1(QUrl::toPercentEncoding(id));

    QFile file(mail.attachment->path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed(QStringLiteral("The attachment %1 cannot be read").arg(mail.attachment->path));
    const std::int64_t size = file.size();
    QJsonObject item{{QStringLiteral("attachmentType"), QStringLiteral("file")},
                     {QStringLiteral("name"), mail.attachment->fileName},
                     {QStringLiteral("size"), static_cast<double>(size)},
                     {QStringLiteral("contentType"), QString::fromLatin1(mail.attachment->mediaType)}};
    reply = HttpExchange(JsonRequest(message + QStringLiteral("/attachments/createUploadSession"), token,
                                     QJsonObject{{QStringLiteral("AttachmentItem"), item}}, options));
    if (!reply.answered)
        return NoAnswer(service, reply);
    if (reply.status != 201 && reply.status != 200)
        return ServiceFailure(service, reply);
    const QString uploadUrl = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("uploadUrl")).toString();
    if (uploadUrl.isEmpty())
        return Failed(QStringLiteral("Microsoft 365 gave no address to upload the attachment to"));

    // The upload address carries its own authorization: the access token
    // must not go with it.
    for (std::int64_t at = 0; at < size || (size == 0 && at == 0);) {
        const std::int64_t length = std::min(kGraphChunk, size - at);
        HttpRequest chunk = Request("PUT", uploadUrl, nullptr, options);
        chunk.body = file.read(length);
        if (chunk.body.size() != length)
            return Failed(QStringLiteral("The attachment %1 changed while it was being sent").arg(mail.attachment->path));
        chunk.bodyLength = length;
        chunk.headers.append("Content-Type: application/octet-stream");
        chunk.headers.append("Content-Range: bytes " + QByteArray::number(at) + "-" +
                             QByteArray::number(at + length - 1) + "/" + QByteArray::number(size));
        reply = HttpExchange(chunk);
        if (!reply.answered)
            return NoAnswer(service, reply);
        if (reply.status != 200 && reply.status != 201)
            return ServiceFailure(service, reply);
        at += length;
        if (size == 0)
            break;
    }

    HttpRequest send = Request("POST", message + QStringLiteral("/send"), token, options);
    reply = HttpExchange(send);
    if (!reply.answered)
        return NoAnswer(service, reply);
    return reply.status == 202 ? Sent() : ServiceFailure(service, reply);
}

} // namespace

TransportResult ServiceFailure(const QString &service, const HttpReply &reply)
{
    const QJsonObject error = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("error")).toObject();
    // Graph names its errors ("ErrorAccessDenied"); Google gives a status
    // word beside the number.
    QString code = error.value(QStringLiteral("code")).isString() ? error.value(QStringLiteral("code")).toString()
                                                                  : error.value(QStringLiteral("status")).toString();
    QString message = error.value(QStringLiteral("message")).toString().simplified().left(300);
    TransportResult result;
    result.failure = QStringLiteral("%1 answered %2").arg(service).arg(reply.status);
    if (!code.isEmpty())
        result.failure += u' ' + code.left(80);
    if (!message.isEmpty())
        result.failure += QStringLiteral(": ") + message;
    const QString said = (code + u' ' + message).toLower();
    if (reply.status == 401) {
        result.tokenRefused = true;
    } else if (reply.status == 403 && (said.contains(u"scope") || said.contains(u"insufficient") ||
                                       said.contains(u"accessdenied") || said.contains(u"permission"))) {
        result.signInOver = true;
        result.failure += QStringLiteral(". Sign in again from Setup.");
    } else if (reply.status == 429 || reply.status >= 500) {
        result.mayWorkLater = true;
        result.retryAfter = reply.retryAfter;
    }
    return result;
}

TransportResult SendThroughGraph(const QString &apiUrl, const char *accessToken, const ComposedMail &mail,
                                 const MailTransportOptions &options)
{
    if (!mail.ok)
        return Failed(mail.failure);
    const QString base = Base(apiUrl, kGraphApiUrl);
    MessageStream stream;
    if (!stream.open(mail, true))
        return Failed(stream.failure());
    // base64 makes four of every three bytes.
    if (4 * ((stream.size() + 2) / 3) > kGraphRequestLimit && mail.attachment)
        return GraphDraftSend(base, accessToken, mail, options);
    QString failure;
    const QByteArray bytes = MessageBytes(mail, &failure, true);
    if (bytes.isEmpty())
        return Failed(failure);
    HttpRequest request = Request("POST", base + QStringLiteral("/me/sendMail"), accessToken, options);
    request.headers.append("Content-Type: text/plain");
    request.body = bytes.toBase64();
    request.bodyLength = request.body.size();
    const HttpReply reply = HttpExchange(request);
    if (!reply.answered)
        return NoAnswer(QStringLiteral("Microsoft 365"), reply);
    return reply.status == 202 ? Sent() : ServiceFailure(QStringLiteral("Microsoft 365"), reply);
}

TransportResult SendThroughGmail(const QString &apiUrl, const char *accessToken, const ComposedMail &mail,
                                 const MailTransportOptions &options)
{
    if (!mail.ok)
        return Failed(mail.failure);
    const QString service = QStringLiteral("Gmail");
    const QString base = Base(apiUrl, kGmailApiUrl) + QStringLiteral("/upload/gmail/v1/users/me/messages/send");
    MessageStream stream;
    if (!stream.open(mail, true))
        return Failed(stream.failure());
    const std::int64_t size = stream.size();
    if (size > kGmailLimit)
        return Failed(QStringLiteral("The message is %1 MB, more than Gmail takes (35 MB): attach a smaller file")
                          .arg(static_cast<double>(size) / (1024 * 1024), 0, 'f', 1));
    stream.encodeAhead();

    QString target = base + QStringLiteral("?uploadType=media");
    if (size > kGmailSimpleLimit) {
        HttpRequest start = Request("POST", base + QStringLiteral("?uploadType=resumable"), accessToken, options);
        start.headers.append("X-Upload-Content-Type: message/rfc822");
        start.headers.append("X-Upload-Content-Length: " + QByteArray::number(size));
        start.headers.append("Content-Type: application/json; charset=UTF-8");
        start.body = "{}";
        start.bodyLength = start.body.size();
        const HttpReply reply = HttpExchange(start);
        if (!reply.answered)
            return NoAnswer(service, reply);
        if (reply.status != 200 || reply.location.isEmpty())
            return reply.status == 200 ? Failed(QStringLiteral("Gmail gave no address to upload the message to"))
                                       : ServiceFailure(service, reply);
        target = QString::fromUtf8(reply.location);
    }
    HttpRequest upload = Request(size > kGmailSimpleLimit ? "PUT" : "POST", target, accessToken, options);
    upload.headers.append("Content-Type: message/rfc822");
    upload.read = [&stream](char *buffer, std::size_t capacity) { return stream.read(buffer, capacity); };
    upload.bodyLength = size;
    const HttpReply reply = HttpExchange(upload);
    if (!stream.failure().isEmpty())
        return Failed(stream.failure());
    if (!reply.answered)
        return NoAnswer(service, reply);
    if (reply.status != 200)
        return ServiceFailure(service, reply);
    if (QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("id")).toString().isEmpty())
        return Failed(QStringLiteral("Gmail answered 200 but named no sent message"));
    return Sent();
}
