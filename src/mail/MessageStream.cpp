#include "mail/MessageStream.h"

#include "mail/Base64FileStream.h"
#include "mail/MailComposer.h"
#include "mail/QuotedPrintable.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>

namespace {

const QByteArray kCrLf = "\r\n";

QByteArray TextEntity(const QByteArray &type, const QByteArray &text)
{
    return "Content-Type: " + type + "\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n" + QuotedPrintable(text);
}

// A boundary no encoded part can hold (see the class comment), told apart by
// the level it separates.
QByteArray Boundary(const QByteArray &seed, const char *level)
{
    return "=_" + QByteArray(level) + "_" + QCryptographicHash::hash(seed, QCryptographicHash::Sha256).toHex().left(32);
}

QByteArray MultipartHeader(const QByteArray &subtype, const QByteArray &boundary)
{
    return "Content-Type: multipart/" + subtype + ";\r\n boundary=\"" + boundary + "\"\r\n\r\n";
}

QByteArray Delimiter(const QByteArray &boundary)
{
    return "--" + boundary + kCrLf;
}

QByteArray CloseDelimiter(const QByteArray &boundary)
{
    return "\r\n--" + boundary + "--\r\n";
}

// The texts of the message: one text/plain, or a page with its text.
QByteArray BodyEntity(const ComposedMail &mail, const QByteArray &seed)
{
    if (!mail.hasHtml)
        return TextEntity("text/plain; charset=utf-8", mail.plainText);
    const QByteArray boundary = Boundary(seed, "alt");
    return MultipartHeader("alternative", boundary) + Delimiter(boundary) +
           TextEntity("text/plain; charset=utf-8", mail.plainText) + kCrLf + Delimiter(boundary) +
           TextEntity("text/html; charset=utf-8", mail.html) + CloseDelimiter(boundary);
}

} // namespace

MessageStream::MessageStream() = default;
MessageStream::~MessageStream() = default;

bool MessageStream::fail(const QString &why)
{
    failed_ = true;
    failure_ = why;
    return false;
}

bool MessageStream::open(const ComposedMail &mail, bool withBcc)
{
    head_.clear();
    tail_.clear();
    attachment_.reset();
    attachmentSize_ = 0;
    at_ = 0;
    failed_ = false;
    failure_.clear();
    if (!mail.ok)
        return fail(mail.failure.isEmpty() ? QStringLiteral("The message could not be composed") : mail.failure);

    // The boundaries follow from the headers without the Bcc line, so the
    // message is the same bytes with it or without.
    QByteArray seed;
    for (const QByteArray &line : mail.headers)
        seed.append(line).append(kCrLf);
    const QByteArray headers = withBcc && !mail.bccHeader.isEmpty() ? seed + mail.bccHeader + kCrLf : seed;
    if (!mail.attachment) {
        head_ = headers + BodyEntity(mail, seed);
        return true;
    }

    attachment_ = std::make_unique<Base64FileStream>();
    if (!attachment_->open(mail.attachment->path))
        return fail(attachment_->failure());
    attachmentSize_ = attachment_->encodedSize();
    const QByteArray boundary = Boundary(seed, "mix");
    head_ = headers + MultipartHeader("mixed", boundary) + Delimiter(boundary) + BodyEntity(mail, seed) + kCrLf +
            Delimiter(boundary) + "Content-Type: " + mail.attachment->mediaType +
            "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: " + mail.attachment->disposition +
            "\r\n\r\n";
    tail_ = CloseDelimiter(boundary);
    return true;
}

void MessageStream::encodeAhead()
{
    if (attachment_)
        attachment_->encodeAhead();
}

std::int64_t MessageStream::size() const
{
    return head_.size() + attachmentSize_ + tail_.size();
}

std::int64_t MessageStream::read(char *buffer, std::size_t capacity)
{
    if (failed_)
        return -1;
    std::size_t filled = 0;
    const auto copyFrom = [&](const QByteArray &bytes, std::int64_t offset) {
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(capacity - filled), bytes.size() - offset);
        std::memcpy(buffer + filled, bytes.constData() + offset, static_cast<std::size_t>(n));
        filled += static_cast<std::size_t>(n);
        at_ += n;
    };
    while (filled < capacity) {
        const std::int64_t headEnd = head_.size();
        const std::int64_t attachmentEnd = headEnd + attachmentSize_;
        if (at_ < headEnd) {
            copyFrom(head_, at_);
        } else if (at_ < attachmentEnd) {
            const std::int64_t n = attachment_->read(buffer + filled, std::min<std::size_t>(
                                                                          capacity - filled,
                                                                          static_cast<std::size_t>(attachmentEnd - at_)));
            if (n <= 0) {
                fail(attachment_->failure().isEmpty()
                         ? QStringLiteral("The attachment changed while it was being sent")
                         : attachment_->failure());
                return -1;
            }
            filled += static_cast<std::size_t>(n);
            at_ += n;
        } else if (at_ < attachmentEnd + tail_.size()) {
            copyFrom(tail_, at_ - attachmentEnd);
        } else {
            break;
        }
    }
    return static_cast<std::int64_t>(filled);
}

bool MessageStream::rewind()
{
    if (attachment_ && !attachment_->rewind())
        return fail(attachment_->failure());
    at_ = 0;
    failed_ = false;
    failure_.clear();
    return true;
}

QByteArray MessageBytes(const ComposedMail &mail, QString *failure, bool withBcc)
{
    MessageStream stream;
    if (stream.open(mail, withBcc)) {
        QByteArray bytes(static_cast<qsizetype>(stream.size()), Qt::Uninitialized);
        if (stream.read(bytes.data(), static_cast<std::size_t>(bytes.size())) == stream.size())
            return bytes;
    }
    if (failure)
        *failure = stream.failure();
    return {};
}
