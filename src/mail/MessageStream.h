#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

struct ComposedMail;
class Base64FileStream;

// The whole message of a composed mail, byte for byte as every transport
// sends it: the header lines, the MIME structure, the texts in
// quoted-printable and the attachment in base64. Its size is known before
// the first byte is read, so SMTP can declare it in MAIL FROM and an HTTP
// upload can give its length; the attachment is read from its file as the
// stream reaches it, never held whole.
//
// The shapes: a text alone is one text/plain entity; a page is a
// multipart/alternative of its text and itself; an attachment puts a
// multipart/mixed around either. The boundaries begin with "=_", which
// neither quoted-printable nor base64 can produce, and follow from the
// message's own headers, so the same mail always comes out as the same bytes.
class MessageStream {
public:
    MessageStream();
    MessageStream(const MessageStream &) = delete;
    MessageStream &operator=(const MessageStream &) = delete;
    ~MessageStream();

    // Lays the message out and opens its attachment, whose size is taken now
    // and held to. False, with the reason in failure(), when the mail was not
    // composed or the attachment cannot be read.
    // withBcc adds the mail's Bcc header, for a service that takes the
    // blind copies from it and removes it (SMTP has them on the envelope);
    // the rest of the bytes stay as they are.
    bool open(const ComposedMail &mail, bool withBcc = false);

    // The attachment is encoded ahead of read() on a thread of its own, so
    // the encoding costs the send next to no time.
    void encodeAhead();

    // Bytes the whole message takes.
    std::int64_t size() const;

    // Fills buffer with up to capacity bytes, as many as there are: 0 at the
    // end, -1 when the attachment could no longer be read as it was opened
    // (failure() says so).
    std::int64_t read(char *buffer, std::size_t capacity);

    // Back to the first byte, for a transport that starts over.
    bool rewind();

    QString failure() const { return failure_; }

private:
    bool fail(const QString &why);

    QByteArray head_;  // everything before the attachment's base64, or the whole message
    QByteArray tail_;  // what closes the message after the attachment
    std::unique_ptr<Base64FileStream> attachment_;
    std::int64_t attachmentSize_ = 0;
    std::int64_t at_ = 0;
    bool failed_ = false;
    QString failure_;
};

// The whole message in memory, for a transport that sends it in one piece
// and for reading it back. Empty, with the reason in failure, when the
// stream cannot be opened or read to its end.
QByteArray MessageBytes(const ComposedMail &mail, QString *failure = nullptr, bool withBcc = false);
