#include "mail/HeaderEncoding.h"

#include <QList>

namespace {

constexpr qsizetype kFoldWidth = 78;
// "=?utf-8?B?" + base64 + "?=" stays within RFC 2047's 75 characters when a
// word carries at most 45 bytes of UTF-8 (60 characters of base64).
constexpr qsizetype kBytesPerEncodedWord = 45;
// A word longer than this could not be folded onto a line of its own.
constexpr qsizetype kLongestPlainWord = 76;

bool IsLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n';
}

bool IsControl(QChar c)
{
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

bool IsPrintableAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

bool IsAtext(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
        return true;
    return u < 0x80 && QByteArrayView("!#$%&'*+-/=?^_`{|}~").contains(static_cast<char>(u));
}

// Atoms separated by single blanks, nothing else: safe to write bare.
bool IsPlainPhrase(const QString &text)
{
    if (text.isEmpty() || text.startsWith(u' ') || text.endsWith(u' ') || text.contains(QStringLiteral("  ")))
        return false;
    for (QChar c : text) {
        if (c != u' ' && !IsAtext(c))
            return false;
    }
    return true;
}

// Cut UTF-8 into encoded words without splitting a character.
QByteArray EncodedWords(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QList<QByteArray> words;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + kBytesPerEncodedWord, utf8.size());
        while (end < utf8.size() && end > start && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;
        words.append("=?utf-8?B?" + utf8.mid(start, end - start).toBase64() + "?=");
        start = end;
    }
    return words.join(' ');
}

} // namespace

QString NeutraliseControls(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (IsLineBreak(c)) {
            while (i + 1 < value.size() && IsLineBreak(value[i + 1]))
                ++i;
            out.append(u' ');
        } else if (IsControl(c)) {
            out.append(u' ');
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray EncodeUnstructured(const QString &text)
{
    const QString clean = NeutraliseControls(text);
    bool plain = IsPrintableAscii(clean) && !clean.contains(QStringLiteral("=?"));
    if (plain) {
        for (const QString &word : clean.split(u' ')) {
            if (word.size() > kLongestPlainWord) {
                plain = false;
                break;
            }
        }
    }
    return plain ? clean.toLatin1() : EncodedWords(clean);
}

QByteArray EncodeDisplayName(const QString &name)
{
    const QString clean = NeutraliseControls(name).trimmed();
    if (clean.isEmpty())
        return {};
    if (IsPlainPhrase(clean) && !clean.contains(QStringLiteral("=?")))
        return clean.toLatin1();
    if (IsPrintableAscii(clean) && !clean.contains(QStringLiteral("=?"))) {
        QByteArray quoted = "\"";
        for (QChar c : clean) {
            if (c == u'"' || c == u'\\')
                quoted.append('\\');
            quoted.append(static_cast<char>(c.unicode()));
        }
        return quoted + "\"";
    }
    return EncodedWords(clean);
}

QByteArray FormatMailbox(const QString &displayName, const QString &address)
{
    const QByteArray name = EncodeDisplayName(displayName);
    const QByteArray addr = NeutraliseControls(address).trimmed().toUtf8();
    if (name.isEmpty())
        return addr.isEmpty() ? QByteArray("<>") : addr;
    return name + " <" + addr + ">";
}

Mailbox SplitMailbox(const QString &text)
{
    const QString t = text.trimmed();
    const qsizetype open = t.lastIndexOf(u'<');
    if (open < 0 || !t.endsWith(u'>'))
        return {QString(), t};
    return {t.left(open).trimmed(), t.mid(open + 1, t.size() - open - 2).trimmed()};
}

QByteArray FoldHeader(const QByteArray &name, const QByteArray &value)
{
    QByteArray out = name + ":";
    if (out.size() + 1 + value.size() <= kFoldWidth)
        return out + " " + value;
    qsizetype lineLength = out.size();
    bool first = true;
    for (const QByteArray &token : value.split(' ')) {
        if (!first && !token.isEmpty() && lineLength + 1 + token.size() > kFoldWidth) {
            out += "\r\n " + token;
            lineLength = 1 + token.size();
        } else {
            out += " " + token;
            lineLength += 1 + token.size();
        }
        first = false;
    }
    return out;
}
