#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

// A file read out as base64 in lines of 76 characters joined by CR LF (no
// line end after the last), so a part of a mail can carry it without any
// further encoding. It is encoded in large blocks as it is read, so a big
// file neither sits in memory whole nor trickles out a few bytes at a time.
//
// The encoded size is fixed when the file is opened; a file that then turns
// out shorter or longer stops the stream with a failure instead of sending
// something of another length than announced.
class Base64FileStream {
public:
    // Opens a regular, readable file. False, with the reason in failure(),
    // otherwise.
    bool open(const QString &path);

    // Bytes the whole encoded stream takes.
    std::int64_t encodedSize() const { return encodedSize_; }

    // Fills buffer with up to capacity bytes of the stream, as many as there
    // are: 0 at the end, -1 when the file could not be read as opened.
    std::int64_t read(char *buffer, std::size_t capacity);

    // Back to the first byte, for a reader that starts over.
    bool rewind();

    QString failure() const { return failure_; }

    // Encoded size of a file of the given length.
    static std::int64_t EncodedSize(std::int64_t fileSize);

private:
    bool refill();
    bool fail(const QString &why);

    QFile file_;
    std::int64_t fileSize_ = 0;
    std::int64_t encodedSize_ = 0;
    std::int64_t consumed_ = 0; // input bytes encoded so far
    QByteArray input_;
    QByteArray pending_;        // encoded, not yet handed out
    qsizetype pendingAt_ = 0;
    bool failed_ = false;
    QString failure_;
};
