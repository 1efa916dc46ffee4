#include "store/TextField.h"

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five undefined
// bytes there map to the C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t FromCp1252(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
}

QString FromCp1252(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out.append(QChar(FromCp1252(static_cast<unsigned char>(c))));
    return out;
}

QByteArrayView FieldText(const char *field, std::size_t width)
{
    const char *end = static_cast<const char *>(std::memchr(field, 0, width));
    return QByteArrayView(field, end ? end - field : static_cast<qsizetype>(width));
}

} // namespace

QString ReadTextField(const char *field, std::size_t width)
{
    const QByteArrayView bytes = FieldText(field, width);
    // The one test of which encoding a field is in; RecodeTextFieldAsUtf8
    // makes the same decision.
    if (!bytes.isValidUtf8())
        return FromCp1252(bytes);
    return QString::fromUtf8(bytes);
}

void RecodeTextFieldAsUtf8(char *field, std::size_t width)
{
    if (width == 0)
        return;
    const QByteArrayView bytes = FieldText(field, width);
    if (bytes.isValidUtf8())
        return;
    // Every Windows-1252 character takes at most three bytes of UTF-8. The
    // text may be a password: it is built here and wiped, never in a string
    // that would outlive the call.
    std::array<char, 3 * 256> recoded{};
    const std::size_t limit = std::min(width - 1, recoded.size());
    std::size_t used = 0;
    for (char c : bytes) {
        const char16_t u = FromCp1252(static_cast<unsigned char>(c));
        char encoded[3];
        std::size_t n = 0;
        if (u < 0x80) {
            encoded[n++] = static_cast<char>(u);
        } else if (u < 0x800) {
            encoded[n++] = static_cast<char>(0xC0 | (u >> 6));
            encoded[n++] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            encoded[n++] = static_cast<char>(0xE0 | (u >> 12));
            encoded[n++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            encoded[n++] = static_cast<char>(0x80 | (u & 0x3F));
        }
        if (used + n > limit)
            break; // cut on a character boundary, as WriteTextField cuts
        std::memcpy(recoded.data() + used, encoded, n);
        used += n;
    }
    std::memset(field, 0, width);
    std::memcpy(field, recoded.data(), used);
    std::memset(recoded.data(), 0, recoded.size());
}

QByteArray CutUtf8(const QByteArray &utf8, std::size_t maxBytes)
{
    if (static_cast<std::size_t>(utf8.size()) <= maxBytes)
        return utf8;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of a character.
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
        --cut;
    return utf8.left(static_cast<qsizetype>(cut));
}

void WriteTextField(char *field, std::size_t width, const QString &text, std::size_t maxBytes)
{
    if (width == 0)
        return;
    const QByteArray bytes = CutUtf8(text.toUtf8(), std::min(maxBytes, width - 1));
    std::memset(field, 0, width);
    std::memcpy(field, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
