#include "store/TextField.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five undefined
// bytes there map to the C1 control of the same value, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString FromCp1252(QByteArrayView bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.append(b >= 0x80 && b < 0xA0 ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return out;
}

} // namespace

QString ReadTextField(const char *field, std::size_t width)
{
    const char *end = static_cast<const char *>(std::memchr(field, 0, width));
    const QByteArrayView bytes(field, end ? end - field : static_cast<qsizetype>(width));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return FromCp1252(bytes);
    return text;
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
