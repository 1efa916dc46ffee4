#include "mail/Base64FileStream.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

constexpr qsizetype kLineInput = 57;  // input bytes behind one 76-character line
constexpr qsizetype kLineOutput = 76;
// Whole lines per block, so a block never ends inside a line or a quantum and
// no input has to be carried over to the next.
constexpr qsizetype kBlockInput = kLineInput * 1024;

} // namespace

std::int64_t Base64FileStream::EncodedSize(std::int64_t fileSize)
{
    if (fileSize <= 0)
        return 0;
    const std::int64_t characters = 4 * ((fileSize + 2) / 3);
    return characters + 2 * ((characters - 1) / kLineOutput);
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
    // Only a plain file: opening a pipe would wait for a writer, and a device
    // could stream without end.
    const QFileInfo info(path);
    file_.setFileName(path);
    if (!info.isFile() || !file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file_.isSequential())
        return fail(QStringLiteral("The attachment %1 cannot be read").arg(path));
    fileSize_ = file_.size();
    encodedSize_ = EncodedSize(fileSize_);
    return rewind();
}

bool Base64FileStream::rewind()
{
    if (!file_.isOpen() || !file_.seek(0))
        return fail(QStringLiteral("The attachment %1 cannot be read").arg(file_.fileName()));
    consumed_ = 0;
    pending_.clear();
    pendingAt_ = 0;
    failed_ = false;
    failure_.clear();
    return true;
}

// Encodes the next block into pending_. At the end of the input, makes sure
// the file has not grown: the size on the wire was promised from its length.
bool Base64FileStream::refill()
{
    pending_.clear();
    pendingAt_ = 0;
    const qsizetype wanted = static_cast<qsizetype>(std::min<std::int64_t>(kBlockInput, fileSize_ - consumed_));
    input_.resize(wanted);
    qsizetype got = 0;
    while (got < wanted) {
        const qint64 n = file_.read(input_.data() + got, wanted - got);
        if (n < 0)
            return fail(QStringLiteral("The attachment %1 could not be read while sending").arg(file_.fileName()));
        if (n == 0)
            return fail(QStringLiteral("The attachment %1 got shorter while it was being sent").arg(file_.fileName()));
        got += n;
    }
    if (consumed_ + got == fileSize_) {
        char extra;
        if (file_.read(&extra, 1) != 0)
            return fail(QStringLiteral("The attachment %1 changed while it was being sent").arg(file_.fileName()));
    }
    if (got == 0)
        return true;

    const QByteArray encoded = input_.toBase64();
    const qsizetype lines = (encoded.size() + kLineOutput - 1) / kLineOutput;
    // A line break ends the previous block's last line now that more follows.
    pending_.reserve(encoded.size() + 2 * lines);
    for (qsizetype at = 0; at < encoded.size(); at += kLineOutput) {
        if (consumed_ > 0 || at > 0)
            pending_.append("\r\n", 2);
        pending_.append(encoded.constData() + at, std::min(kLineOutput, encoded.size() - at));
    }
    consumed_ += got;
    return true;
}

std::int64_t Base64FileStream::read(char *buffer, std::size_t capacity)
{
    if (failed_ || !file_.isOpen())
        return -1;
    std::size_t filled = 0;
    while (filled < capacity) {
        if (pendingAt_ == pending_.size()) {
            if (consumed_ == fileSize_ && consumed_ > 0)
                break;
            if (!refill())
                return -1;
            if (pending_.isEmpty())
                break;
        }
        const std::size_t n = std::min(capacity - filled, static_cast<std::size_t>(pending_.size() - pendingAt_));
        std::memcpy(buffer + filled, pending_.constData() + pendingAt_, n);
        filled += n;
        pendingAt_ += static_cast<qsizetype>(n);
    }
    return static_cast<std::int64_t>(filled);
}
