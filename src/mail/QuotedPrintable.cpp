#include "mail/QuotedPrintable.h"

#include <QList>

namespace {

constexpr qsizetype kMaxLine = 76;

QByteArray Encoded(unsigned char byte)
{
    static const char kHex[] = "0123456789ABCDEF";
    const char encoded[] = {'=', kHex[byte >> 4], kHex[byte & 0x0F]};
    return QByteArray(encoded, sizeof encoded);
}

void EncodeLine(const QByteArray &line, QByteArray &out)
{
    qsizetype length = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        const bool last = i == line.size() - 1;
        // A blank at the end of a line is dropped by readers unless encoded.
        const bool blank = byte == ' ' || byte == '\t';
        const bool literal = (byte >= 33 && byte <= 126 && byte != '=' && !(byte == '.' && length == 0)) ||
                             (blank && !last);
        const QByteArray token = literal ? QByteArray(1, static_cast<char>(byte)) : Encoded(byte);
        // Room for the soft break's "=" at the end of the line.
        if (length + token.size() > kMaxLine - 1) {
            out.append("=\r\n");
            length = 0;
            if (byte == '.') {
                out.append(Encoded(byte));
                length = 3;
                continue;
            }
        }
        out.append(token);
        length += token.size();
    }
}

} // namespace

QByteArray QuotedPrintable(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        const bool hadCrLf = i + 1 < lines.size();
        if (hadCrLf && line.endsWith('\r'))
            line.chop(1);
        EncodeLine(line, out);
        if (hadCrLf)
            out.append("\r\n");
    }
    return out;
}
