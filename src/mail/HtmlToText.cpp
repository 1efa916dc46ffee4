#include "mail/HtmlToText.h"

#include <QHash>
#include <QStringList>

namespace {

const QHash<QString, char32_t> &NamedEntities()
{
    // The references a page written by a person or by our own rendering is
    // likely to hold; an unknown one is left as it stands.
    static const QHash<QString, char32_t> entities = {
        {QStringLiteral("nbsp"), U' '},    {QStringLiteral("amp"), U'&'},     {QStringLiteral("lt"), U'<'},
        {QStringLiteral("gt"), U'>'},      {QStringLiteral("quot"), U'"'},    {QStringLiteral("apos"), U'\''},
        {QStringLiteral("copy"), U'©'},    {QStringLiteral("reg"), U'®'},     {QStringLiteral("trade"), U'™'},
        {QStringLiteral("euro"), U'€'},    {QStringLiteral("pound"), U'£'},   {QStringLiteral("yen"), U'¥'},
        {QStringLiteral("cent"), U'¢'},    {QStringLiteral("sect"), U'§'},    {QStringLiteral("deg"), U'°'},
        {QStringLiteral("plusmn"), U'±'},  {QStringLiteral("times"), U'×'},   {QStringLiteral("divide"), U'÷'},
        {QStringLiteral("middot"), U'·'},  {QStringLiteral("bull"), U'•'},    {QStringLiteral("hellip"), U'…'},
        {QStringLiteral("ndash"), U'–'},   {QStringLiteral("mdash"), U'—'},   {QStringLiteral("lsquo"), U'‘'},
        {QStringLiteral("rsquo"), U'’'},   {QStringLiteral("ldquo"), U'“'},   {QStringLiteral("rdquo"), U'”'},
        {QStringLiteral("laquo"), U'«'},   {QStringLiteral("raquo"), U'»'},   {QStringLiteral("iexcl"), U'¡'},
        {QStringLiteral("iquest"), U'¿'},  {QStringLiteral("shy"), U'\u00AD'},
        {QStringLiteral("auml"), U'ä'},    {QStringLiteral("ouml"), U'ö'},    {QStringLiteral("uuml"), U'ü'},
        {QStringLiteral("Auml"), U'Ä'},    {QStringLiteral("Ouml"), U'Ö'},    {QStringLiteral("Uuml"), U'Ü'},
        {QStringLiteral("szlig"), U'ß'},   {QStringLiteral("eacute"), U'é'},  {QStringLiteral("egrave"), U'è'},
        {QStringLiteral("Eacute"), U'É'},  {QStringLiteral("aacute"), U'á'},  {QStringLiteral("agrave"), U'à'},
        {QStringLiteral("oacute"), U'ó'},  {QStringLiteral("iacute"), U'í'},  {QStringLiteral("uacute"), U'ú'},
        {QStringLiteral("ntilde"), U'ñ'},  {QStringLiteral("ccedil"), U'ç'},  {QStringLiteral("ecirc"), U'ê'},
    };
    return entities;
}

// Tags that end a line of text where they stand.
bool BreaksLine(const QString &tag)
{
    static const QStringList tags = {
        QStringLiteral("/tr"),  QStringLiteral("li"),    QStringLiteral("/li"),
        QStringLiteral("div"),    QStringLiteral("/div"), QStringLiteral("table"), QStringLiteral("/table"),
        QStringLiteral("ul"),     QStringLiteral("/ul"),  QStringLiteral("ol"),    QStringLiteral("/ol"),
        QStringLiteral("hr"),     QStringLiteral("tr"),   QStringLiteral("pre"),   QStringLiteral("/pre"),
        QStringLiteral("blockquote"), QStringLiteral("/blockquote"),
    };
    return tags.contains(tag);
}

// Tags that leave an empty line: paragraphs and headings.
bool BreaksParagraph(const QString &tag)
{
    static const QStringList tags = {
        QStringLiteral("p"),   QStringLiteral("/p"),  QStringLiteral("h1"), QStringLiteral("/h1"),
        QStringLiteral("h2"),  QStringLiteral("/h2"), QStringLiteral("h3"), QStringLiteral("/h3"),
        QStringLiteral("h4"),  QStringLiteral("/h4"), QStringLiteral("h5"), QStringLiteral("/h5"),
        QStringLiteral("h6"),  QStringLiteral("/h6"),
    };
    return tags.contains(tag);
}

// Elements whose content is not text for a reader.
bool HidesContent(const QString &tag)
{
    return tag == u"script" || tag == u"style" || tag == u"head" || tag == u"title";
}

class TextBuilder {
public:
    void text(const QString &s)
    {
        for (QChar c : s) {
            if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f') {
                pendingBlank_ = true;
                continue;
            }
            character(c);
        }
    }

    // A decoded character reference: kept as it is, blanks included, since
    // "&nbsp;&nbsp;" means two blanks that collapsing must not eat.
    void literal(const QString &s)
    {
        for (QChar c : s)
            character(c);
    }

    // Block edges collapse into one another; each <br> is a line of its own.
    void blockEdge(int wanted)
    {
        pendingBlank_ = false;
        breaks_ = std::max(breaks_, wanted);
    }

    void forcedBreak()
    {
        pendingBlank_ = false;
        ++breaks_;
    }

    void cellGap() { pendingBlank_ = true; }

    QString finish()
    {
        QStringList lines = current_.split(u'\n');
        for (QString &line : lines) {
            while (line.endsWith(u' '))
                line.chop(1);
        }
        return lines.join(QStringLiteral("\r\n"));
    }

private:
    void character(QChar c)
    {
        if (!current_.isEmpty()) {
            if (breaks_ > 0)
                current_.append(QString(breaks_, u'\n'));
            else if (pendingBlank_ && !current_.endsWith(u' '))
                current_.append(u' ');
        }
        breaks_ = 0;
        pendingBlank_ = false;
        current_.append(c);
    }

    QString current_;
    int breaks_ = 0;
    bool pendingBlank_ = false;
};

QString DecodeReference(const QString &name)
{
    if (name.startsWith(u'#')) {
        bool ok = false;
        const uint code = (name.size() > 1 && (name[1] == u'x' || name[1] == u'X')) ? name.mid(2).toUInt(&ok, 16)
                                                                                      : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return QString(QChar(QChar::ReplacementCharacter));
        if (code == 0xA0)
            return QStringLiteral(" ");
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }
    const auto it = NamedEntities().constFind(name);
    if (it == NamedEntities().constEnd())
        return {};
    const char32_t c = it.value();
    return QString::fromUcs4(&c, 1);
}

// The tag's name, lower case, with "/" in front for a closing tag.
QString TagName(const QString &tag)
{
    qsizetype i = 0;
    QString name;
    if (i < tag.size() && tag[i] == u'/') {
        name.append(u'/');
        ++i;
    }
    while (i < tag.size() && (tag[i].isLetterOrNumber()))
        name.append(tag[i++].toLower());
    return name;
}

} // namespace

QString HtmlToText(const QString &html)
{
    TextBuilder out;
    QString hiddenUntil; // closing tag that ends a hidden element
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const QChar c = html[i];
        // A "<" that cannot open a tag ("a < b") is text, as browsers read it.
        if (c == u'<' && i + 1 < n && (html[i + 1].isLetter() || html[i + 1] == u'/' || html[i + 1] == u'!' || html[i + 1] == u'?')) {
            if (html.mid(i, 4) == u"<!--") {
                const qsizetype end = html.indexOf(QStringLiteral("-->"), i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            // Find the end of the tag, stepping over quoted attribute values.
            qsizetype j = i + 1;
            QChar quote;
            while (j < n) {
                const QChar d = html[j];
                if (!quote.isNull()) {
                    if (d == quote)
                        quote = QChar();
                } else if (d == u'"' || d == u'\'') {
                    quote = d;
                } else if (d == u'>') {
                    break;
                }
                ++j;
            }
            const QString name = TagName(html.mid(i + 1, j - i - 1));
            i = j < n ? j + 1 : n;
            if (!hiddenUntil.isEmpty()) {
                if (name == hiddenUntil)
                    hiddenUntil.clear();
                continue;
            }
            if (name.isEmpty())
                continue;
            if (HidesContent(name))
                hiddenUntil = u'/' + name;
            else if (name == u"br")
                out.forcedBreak();
            else if (BreaksParagraph(name))
                out.blockEdge(2);
            else if (BreaksLine(name))
                out.blockEdge(1);
            else if (name == u"td" || name == u"th" || name == u"/td" || name == u"/th")
                out.cellGap();
            if (name == u"li")
                out.literal(QStringLiteral("- "));
            continue;
        }
        if (!hiddenUntil.isEmpty()) {
            ++i;
            continue;
        }
        if (c == u'&') {
            qsizetype j = i + 1;
            while (j < n && j - i <= 32 && (html[j].isLetterOrNumber() || html[j] == u'#'))
                ++j;
            if (j < n && html[j] == u';' && j > i + 1) {
                const QString decoded = DecodeReference(html.mid(i + 1, j - i - 1));
                if (!decoded.isEmpty()) {
                    out.literal(decoded);
                    i = j + 1;
                    continue;
                }
            }
            out.literal(QStringLiteral("&"));
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < n && html[j] != u'<' && html[j] != u'&')
            ++j;
        out.text(html.mid(i, j - i));
        i = j;
    }
    return out.finish();
}
