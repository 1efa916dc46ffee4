#include "mail/Base64FileStream.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

constexpr qsizetype kLineInput = 57;  // input bytes behind one 76-character line
constexpr qsizetype kLineOutput = 76;
// Whole lines per block, so a block never ends inside a line or a quantum and
// no input has to be carried over to the next.
constexpr qsizetype kBlockInput = kLineInput * 1024;
// Blocks the thread ahead may have ready before it waits for the reader:
// enough to ride out a slow moment on either side, little memory.
constexpr std::size_t kBlocksAhead = 8;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value, so a group of three bytes is
// two look-ups.
using CharPair = std::array<char, 2>;
constexpr std::array<CharPair, 4096> MakePairs()
{
    std::array<CharPair, 4096> pairs{};
    for (int value = 0; value < 4096; ++value)
        pairs[static_cast<std::size_t>(value)] = {kAlphabet[value >> 6], kAlphabet[value & 63]};
    return pairs;
}
constexpr std::array<CharPair, 4096> kPairs = MakePairs();

char *EncodeGroup(const unsigned char *in, char *out)
{
    const unsigned value = (unsigned{in[0]} << 16) | (unsigned{in[1]} << 8) | unsigned{in[2]};
    std::memcpy(out, kPairs[value >> 12].data(), 2);
    std::memcpy(out + 2, kPairs[value & 0xfff].data(), 2);
    return out + 4;
}

// Characters of base64 for n input bytes, padding included.
qsizetype Base64Characters(qsizetype n)
{
    return 4 * ((n + 2) / 3);
}

// n bytes as base64 lines joined by CR LF into out, which holds enough; with
// breakFirst, a line break goes first, ending the line before. Returns the
// end of what was written.
char *EncodeLines(const unsigned char *in, qsizetype n, char *out, bool breakFirst)
{
    bool breakNext = breakFirst;
    while (n > 0) {
        if (breakNext) {
            *out++ = '\r';
            *out++ = '\n';
        }
        breakNext = true;
        const qsizetype line = std::min(n, kLineInput);
        const qsizetype groups = line / 3;
        for (qsizetype g = 0; g < groups; ++g, in += 3)
            out = EncodeGroup(in, out);
        n -= line;
        switch (line - 3 * groups) {
        case 1:
            *out++ = kAlphabet[in[0] >> 2];
            *out++ = kAlphabet[(in[0] & 3) << 4];
            *out++ = '=';
            *out++ = '=';
            in += 1;
            break;
        case 2:
            *out++ = kAlphabet[in[0] >> 2];
            *out++ = kAlphabet[((in[0] & 3) << 4) | (in[1] >> 4)];
            *out++ = kAlphabet[(in[1] & 15) << 2];
            *out++ = '=';
            in += 2;
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

std::int64_t Base64FileStream::EncodedSize(std::int64_t fileSize)
{
    if (fileSize <= 0)
        return 0;
    const std::int64_t characters = 4 * ((fileSize + 2) / 3);
    return characters + 2 * ((characters - 1) / kLineOutput);
}

Base64FileStream::~Base64FileStream()
{
    stopAhead();
}

bool Base64FileStream::fail(const QString &why)
{
    failed_ = true;
    failure_ = why;
    pending_.clear();
    pendingAt_ = 0;
    return false;
}

bool Base64FileStream::open(const QString &path)
{
    stopAhead();
    // Only a plain file: opening a pipe would wait for a writer, and a device
    // could stream without end.
    const QFileInfo info(path);
    file_.close();
    file_.setFileName(path);
    if (!info.isFile() || !file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file_.isSequential())
        return fail(QStringLiteral("The attachment %1 cannot be read").arg(path));
    fileSize_ = file_.size();
    encodedSize_ = EncodedSize(fileSize_);
    return rewind();
}

void Base64FileStream::encodeAhead()
{
    ahead_ = true;
    if (!failed_ && file_.isOpen())
        startAhead();
}

bool Base64FileStream::rewind()
{
    stopAhead();
    if (!file_.isOpen() || !file_.seek(0))
        return fail(QStringLiteral("The attachment %1 cannot be read").arg(file_.fileName()));
    encodedInput_ = 0;
    endChecked_ = false;
    pending_.clear();
    pendingAt_ = 0;
    ended_ = false;
    failed_ = false;
    failure_.clear();
    if (ahead_)
        startAhead();
    return true;
}

// At the end of the input, makes sure the file has not grown: the size on the
// wire was promised from its length.
Base64FileStream::Next Base64FileStream::encodeNext(QByteArray &block, QString &why)
{
    if (endChecked_)
        return Next::End;
    const qsizetype wanted = static_cast<qsizetype>(std::min<std::int64_t>(kBlockInput, fileSize_ - encodedInput_));
    input_.resize(wanted);
    qsizetype got = 0;
    while (got < wanted) {
        const qint64 n = file_.read(input_.data() + got, wanted - got);
        if (n < 0) {
            why = QStringLiteral("The attachment %1 could not be read while sending").arg(file_.fileName());
            return Next::Failed;
        }
        if (n == 0) {
            why = QStringLiteral("The attachment %1 got shorter while it was being sent").arg(file_.fileName());
            return Next::Failed;
        }
        got += n;
    }
    if (encodedInput_ + got == fileSize_) {
        char extra;
        if (file_.read(&extra, 1) != 0) {
            why = QStringLiteral("The attachment %1 changed while it was being sent").arg(file_.fileName());
            return Next::Failed;
        }
        endChecked_ = true;
    }
    if (got == 0)
        return Next::End;

    const qsizetype characters = Base64Characters(got);
    const qsizetype lines = (characters + kLineOutput - 1) / kLineOutput;
    const bool breakFirst = encodedInput_ > 0; // ends the last block's last line now that more follows
    block.resize(characters + 2 * (lines - 1) + (breakFirst ? 2 : 0));
    char *end = EncodeLines(reinterpret_cast<const unsigned char *>(input_.constData()), got, block.data(), breakFirst);
    Q_ASSERT(end == block.data() + block.size());
    Q_UNUSED(end);
    encodedInput_ += got;
    return Next::Block;
}

void Base64FileStream::startAhead()
{
    stopAhead();
    {
        std::lock_guard lock(mutex_);
        ready_.clear();
        aheadEnd_ = Next::Block;
        aheadFailure_.clear();
        stopping_ = false;
    }
    aheadThread_ = std::thread([this] { runAhead(); });
}

void Base64FileStream::stopAhead()
{
    if (!aheadThread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    aheadThread_.join();
    std::lock_guard lock(mutex_);
    ready_.clear();
}

void Base64FileStream::runAhead()
{
    for (;;) {
        QByteArray block;
        QString why;
        const Next next = encodeNext(block, why);
        std::unique_lock lock(mutex_);
        if (next != Next::Block) {
            aheadEnd_ = next;
            aheadFailure_ = why;
            changed_.notify_all();
            return;
        }
        ready_.push_back(std::move(block));
        changed_.notify_all();
        changed_.wait(lock, [this] { return stopping_ || ready_.size() < kBlocksAhead; });
        if (stopping_)
            return;
    }
}

Base64FileStream::Next Base64FileStream::takeNext(QByteArray &block)
{
    if (!aheadThread_.joinable()) {
        QString why;
        const Next next = encodeNext(block, why);
        if (next == Next::Failed)
            fail(why);
        return next;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || aheadEnd_ != Next::Block; });
    if (!ready_.empty()) {
        block = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
        return Next::Block;
    }
    if (aheadEnd_ == Next::Failed)
        fail(aheadFailure_);
    return aheadEnd_;
}

std::int64_t Base64FileStream::read(char *buffer, std::size_t capacity)
{
    if (failed_ || !file_.isOpen())
        return -1;
    std::size_t filled = 0;
    while (filled < capacity && !ended_) {
        if (pendingAt_ == pending_.size()) {
            pendingAt_ = 0;
            const Next next = takeNext(pending_);
            if (next == Next::Failed)
                return -1;
            if (next == Next::End) {
                pending_.clear();
                ended_ = true;
                break;
            }
        }
        const std::size_t n = std::min(capacity - filled, static_cast<std::size_t>(pending_.size() - pendingAt_));
        std::memcpy(buffer + filled, pending_.constData() + pendingAt_, n);
        filled += n;
        pendingAt_ += static_cast<qsizetype>(n);
    }
    return static_cast<std::int64_t>(filled);
}
