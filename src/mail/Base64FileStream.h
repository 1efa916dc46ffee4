#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

// A file read out as base64 in lines of 76 characters joined by CR LF (no
// line end after the last), so a part of a mail can carry it without any
// further encoding. It is encoded in large blocks, so a big file neither sits
// in memory whole nor trickles out a few bytes at a time; with encodeAhead(),
// a thread of its own encodes the next blocks while the reader sends the last
// ones, so the encoding costs the send next to no time.
//
// The encoded size is fixed when the file is opened; a file that then turns
// out shorter or longer stops the stream with a failure instead of sending
// something of another length than announced.
class Base64FileStream {
public:
    Base64FileStream() = default;
    Base64FileStream(const Base64FileStream &) = delete;
    Base64FileStream &operator=(const Base64FileStream &) = delete;
    ~Base64FileStream();

    // Opens a regular, readable file. False, with the reason in failure(),
    // otherwise.
    bool open(const QString &path);

    // From now on the blocks are read and encoded ahead of read(), a few at
    // a time, on a thread that only this stream uses.
    void encodeAhead();

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
    enum class Next { Block, End, Failed };

    // Reads and encodes the next block of the file into block; the reason
    // goes into why on failure. Called by one thread at a time: the reader's
    // own, or the thread that encodes ahead while it runs.
    Next encodeNext(QByteArray &block, QString &why);
    // The next block for the reader, from the thread ahead or made here.
    Next takeNext(QByteArray &block);
    void startAhead();
    void stopAhead();
    void runAhead();
    bool fail(const QString &why);

    QFile file_;
    std::int64_t fileSize_ = 0;
    std::int64_t encodedSize_ = 0;
    std::int64_t encodedInput_ = 0; // input bytes encoded so far
    bool endChecked_ = false;       // the file was seen to end where it should
    QByteArray input_;
    QByteArray pending_;            // encoded, not yet handed out
    qsizetype pendingAt_ = 0;
    bool ended_ = false;            // every block has been handed out
    bool failed_ = false;
    QString failure_;

    // Between the reader and the thread ahead.
    bool ahead_ = false;
    std::thread aheadThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QByteArray> ready_;
    Next aheadEnd_ = Next::Block;   // End or Failed once the thread has stopped on its own
    QString aheadFailure_;
    bool stopping_ = false;
};
