#include "mail/AddressList.h"

#include <QStringList>

namespace {

bool IsControl(QChar c)
{
    const auto category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

// The entries of a list: split at "," and ";" outside quotes and angle
// brackets, so "\"Smith, Bob\" <bob@x>" stays one. Each piece remembers
// whether a comma ended it.
struct Piece {
    QString text;
    bool endedByComma = false;
};

QList<Piece> SplitEntries(const QString &text)
{
    QList<Piece> pieces;
    QString current;
    bool quoted = false;
    bool inAngle = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == u'\\' && i + 1 < text.size()) {
            current += c;
            current += text[++i];
            continue;
        }
        if (c == u'"' && !inAngle)
            quoted = !quoted;
        else if (c == u'<' && !quoted)
            inAngle = true;
        else if (c == u'>' && !quoted)
            inAngle = false;
        if ((c == u',' || c == u';') && !quoted && !inAngle) {
            pieces.append({current, c == u','});
            current.clear();
            continue;
        }
        current += c;
    }
    pieces.append({current, false});
    return pieces;
}

// "Smith, Bob <bob@x>" written without quotes: the part before the comma has
// no address of its own and belongs to the name after it.
QList<Piece> JoinSplitNames(const QList<Piece> &pieces)
{
    QList<Piece> joined;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        Piece piece = pieces[i];
        while (piece.endedByComma && i + 1 < pieces.size() && !piece.text.contains(u'@') &&
               !piece.text.contains(u'<') && !piece.text.trimmed().isEmpty() && pieces[i + 1].text.contains(u'<')) {
            ++i;
            piece.text += u',' + pieces[i].text;
            piece.endedByComma = pieces[i].endedByComma;
        }
        joined.append(piece);
    }
    return joined;
}

// Where c first stands outside a quoted part, or -1; and
// whether every quote was closed.
struct Scan {
    qsizetype at = -1;
    bool quotesClosed = true;
};

Scan FindOutsideQuotes(const QString &text, QChar c)
{
    Scan scan;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (quoted && text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] == u'"')
            quoted = !quoted;
        else if (!quoted && text[i] == c && scan.at < 0)
            scan.at = i;
    }
    scan.quotesClosed = !quoted;
    return scan;
}

QString Unquoted(const QString &name)
{
    if (name.size() < 2 || !name.startsWith(u'"') || !name.endsWith(u'"'))
        return name;
    QString out;
    for (qsizetype i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == u'\\' && i + 2 < name.size())
            ++i;
        out += name[i];
    }
    return out;
}

bool IsUsableAddress(const QString &address)
{
    for (QChar c : address) {
        if (c.isSpace() || c == u'<' || c == u'>' || c == u'"' || c == u',' || c == u';')
            return false;
    }
    return true;
}

AddressList Refused(const QString &entry, const QString &reason)
{
    AddressList list;
    list.ok = false;
    list.badEntry = entry;
    list.reason = reason;
    return list;
}

} // namespace

AddressList ParseAddressList(const QString &text)
{
    for (QChar c : text) {
        if (IsControl(c))
            return Refused(text, QStringLiteral("it holds a line break or another control character"));
    }
    AddressList list;
    for (const Piece &piece : JoinSplitNames(SplitEntries(text))) {
        const QString entry = piece.text.trimmed();
        if (entry.isEmpty())
            continue;
        MailAddress mailbox;
        const Scan open = FindOutsideQuotes(entry, u'<');
        if (!open.quotesClosed)
            return Refused(entry, QStringLiteral("a quote is not closed"));
        if (open.at >= 0) {
            const qsizetype close = entry.indexOf(u'>', open.at);
            if (close < 0)
                return Refused(entry, QStringLiteral("an angle bracket is not closed"));
            if (close != entry.size() - 1)
                return Refused(entry, QStringLiteral("there is text after the address"));
            mailbox.displayName = Unquoted(entry.left(open.at).trimmed());
            mailbox.address = entry.mid(open.at + 1, close - open.at - 1).trimmed();
        } else {
            mailbox.address = entry;
        }
        if (!mailbox.address.contains(u'@'))
            return Refused(entry, QStringLiteral("it has no \"@\""));
        if (!IsUsableAddress(mailbox.address))
            return Refused(entry, QStringLiteral("the address has a blank, a bracket or a quote in it"));
        list.addresses.append(mailbox);
    }
    return list;
}
