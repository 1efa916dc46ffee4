#include "message/RenderMessage.h"

#include "ProductInfo.h"
#include "message/PhraseTable.h"
#include "store/StoredData.h"
#include "store/DataFiles.h"
#include "store/SafeFile.h"
#include "store/TextField.h"

#include <QStringBuilder>

#include <algorithm>

namespace {

constexpr qsizetype kCallerFieldMaxChars = 127;
constexpr qsizetype kMessageTextMaxChars = 9999;

const QString kCrLf = QStringLiteral("\r\n");

struct RenderedPhrase {
    QString text;
    bool fromUser; // a custom phrase: the user's text, escaped in HTML
};

// The first maxChars characters of text. A character is a code point, so a
// surrogate pair is never split.
QString LeftChars(const QString &text, qsizetype maxChars)
{
    qsizetype units = 0;
    for (qsizetype chars = 0; chars < maxChars && units < text.size(); ++chars) {
        const bool pair = text.at(units).isHighSurrogate() && units + 1 < text.size()
                          && text.at(units + 1).isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return text.left(units);
}

// The ticked phrases in printing order, and the importance they set. A custom
// phrase counts only while its message is enabled: a disabled one is hidden
// on the form and cannot have been meant.
QList<RenderedPhrase> TickedPhrases(const SettingsRecord &s, const QSet<Phrase::Id> &ticked,
                                    std::int32_t &importance)
{
    QList<RenderedPhrase> phrases;
    importance = 1;
    for (const PhraseRow &row : kPhrases) {
        if (!ticked.contains(row.id))
            continue;
        if (row.id == Phrase::Custom1) {
            if (s.customMessage1Enabled == 1)
                phrases.append({ReadTextField(s.customMessage1), true});
            continue;
        }
        if (row.id == Phrase::Custom2) {
            if (s.customMessage2Enabled == 1)
                phrases.append({ReadTextField(s.customMessage2), true});
            continue;
        }
        if (row.id == Phrase::NotUrgent)
            importance = 0;
        else if (row.id == Phrase::Urgent)
            importance = 2;
        phrases.append({QString::fromLatin1(row.printed), false});
    }
    return phrases;
}

QString TextBody(const OutgoingMessage &m, const ClockTexts &clock, const SettingsRecord &settings,
                 const QList<RenderedPhrase> &phrases)
{
    QString body = kCrLf % clock.dateLine % clock.timeLine
                   % QStringLiteral("From: ") % m.callerName % kCrLf
                   % QStringLiteral("Company: ") % m.callerCompany % kCrLf
                   % QStringLiteral("Phone: ") % m.callerPhone % kCrLf
                   % QStringLiteral("Email: ") % m.callerEmail % kCrLf % kCrLf
                   % QStringLiteral("Message: ") % kCrLf % kCrLf
                   % m.messageText % kCrLf % kCrLf;
    for (const RenderedPhrase &p : phrases)
        body += QStringLiteral("[X] ") % p.text % kCrLf;
    body += kCrLf % kCrLf % QStringLiteral("Message taken by:") % kCrLf % kCrLf
            % ReadTextField(settings.senderName) % kCrLf
            % ReadTextField(settings.senderAddress) % kCrLf % kCrLf
            % QString(63, QLatin1Char('-')) % kCrLf
            % QStringLiteral("Message created by Quorvane - ")
            % QString::fromLatin1(kProductWebAddress) % kCrLf % kCrLf;
    return body;
}

// A recipient's entry as the To line should show it: a bare address gets
// the table's name ("Alice Able <alice@example.org>"), quoted where the name
// holds what would end it early; an entry written with a name of its own,
// or holding several addresses, stays as written.
QString NamedAddress(const QString &name, const QString &address)
{
    const QString bare = address.trimmed();
    QString shown = name.simplified();
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char(' ');
    }
    shown = shown.simplified();
    if (shown.isEmpty() || !bare.contains(QLatin1Char('@')) || bare.contains(QLatin1Char('<'))
        || bare.contains(QLatin1Char(',')) || bare.contains(QLatin1Char(';')) || bare.contains(QLatin1Char(' ')))
        return address;
    static const QString kSpecials = QStringLiteral("()<>[]:;@\\,.\"");
    const bool quote = std::any_of(shown.begin(), shown.end(), [](QChar c) { return kSpecials.contains(c); });
    if (quote) {
        shown.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        shown.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        shown = QLatin1Char('"') + shown + QLatin1Char('"');
    }
    return shown + QStringLiteral(" <") + bare + QLatin1Char('>');
}

QString LabelCell(const char *label)
{
    return QStringLiteral("<td width=\"6%\"><font SIZE=\"2\" face=\"Verdana\" color=\"#0000FF\">")
           % QLatin1String(label) % QStringLiteral(":</font></td>\r\n");
}

// A value cell; the value is escaped so that a caller written as
// "Jane <jane@example.org>" shows as typed instead of vanishing as a tag.
QString ValueCell(const QString &value)
{
    return QStringLiteral("<td width=\"92%\"><font SIZE=\"2\" face=\"Verdana\">")
           % value.toHtmlEscaped() % QStringLiteral("</font></td></tr><tr>\r\n");
}

QString HtmlBody(const OutgoingMessage &m, const ClockTexts &clock, const SettingsRecord &settings,
                 const QList<RenderedPhrase> &phrases)
{
    const QString senderAddress = ReadTextField(settings.senderAddress).toHtmlEscaped();
    QString html = QStringLiteral(
                       "<table border=\"0\" width=\"100%\" id=\"table1\" cellspacing=\"4\"><tr>\r\n")
                   % LabelCell("Date") % ValueCell(clock.dateValue)
                   % LabelCell("Time") % ValueCell(clock.timeValue)
                   % LabelCell("From") % ValueCell(m.callerName)
                   % LabelCell("Company") % ValueCell(m.callerCompany)
                   % LabelCell("Phone") % ValueCell(m.callerPhone)
                   % LabelCell("Email") % ValueCell(m.callerEmail)
                   % QStringLiteral("<td colspan=\"2\"><br>\r\n"
                                    "<strong><font SIZE=\"2\" face=\"Verdana\">Message:-</font>"
                                    "</strong><br><br>\r\n"
                                    "<font face=\"Verdana\" style=\"font-size: 0.8em\">")
                   % m.messageText % QStringLiteral("</font><br>\r\n<ul>");
    for (const RenderedPhrase &p : phrases)
        html += QStringLiteral("<li><font face=\"Verdana\" size=\"2\">")
                % (p.fromUser ? p.text.toHtmlEscaped() : p.text)
                % QStringLiteral("</font></li>\r\n");
    html += QStringLiteral("</ul><p>\r\n"
                           "</td></tr><tr><td colspan=\"2\"><font face=\"Verdana\" size=\"2\" "
                           "color=\"#800080\">Message taken by:</font><br><br>\r\n"
                           "<font face=\"Verdana\" size=\"2\" color=\"#0000FF\">")
            % ReadTextField(settings.senderName).toHtmlEscaped()
            % QStringLiteral("<br>\r\n<a href=\"mailto:") % senderAddress % QStringLiteral("\">")
            % senderAddress
            // The anchor has never been closed; mail readers cope and the
            // page has always looked this way.
            % QStringLiteral("</font><p></td></tr><tr><td colspan=\"2\"><hr>\r\n"
                             "<font face=\"Verdana\" style=\"font-size: 0.7em\">Message created "
                             "by: <a href=\"")
            % QString::fromLatin1(kProductWebAddress).toHtmlEscaped()
            % QStringLiteral("\">Quorvane</a></font></td></tr>\r\n"
                             "</table><br></body></html>\r\n");
    return html;
}

} // namespace

QString HtmlBodyFilePath(const QString &appDataFolder)
{
    return DataFolderPath(appDataFolder) + QStringLiteral("/this_html_message.htm");
}

RenderOutcome RenderMessage(const MessageFormInputs &inputs, const ClockTexts &clock, const StoredData &data)
{
    RenderOutcome outcome;
    OutgoingMessage &m = outcome.message;

    QStringList addresses;
    for (int i = 0; i < kRecipientCount; ++i) {
        const RecipientEntry &entry = data.recipients.entries[static_cast<std::size_t>(i)];
        if (inputs.recipientTicked[static_cast<std::size_t>(i)])
            addresses.append(NamedAddress(ReadTextField(entry.name), ReadTextField(entry.address)));
    }
    m.toList = addresses.join(QLatin1Char(';'));

    m.callerName = LeftChars(inputs.callerName, kCallerFieldMaxChars);
    m.callerCompany = LeftChars(inputs.callerCompany, kCallerFieldMaxChars);
    m.callerPhone = LeftChars(inputs.callerPhone, kCallerFieldMaxChars);
    m.callerEmail = LeftChars(inputs.callerEmail, kCallerFieldMaxChars);
    m.messageText = LeftChars(inputs.messageText, kMessageTextMaxChars);
    m.subject = QStringLiteral("Message From: ") + m.callerName;

    const QList<RenderedPhrase> phrases = TickedPhrases(data.settings, inputs.tickedPhrases, m.importance);

    if (data.activeSendAsHtml == 0) {
        m.textBody = TextBody(m, clock, data.settings, phrases);
        return outcome;
    }

    m.html = true;
    m.messageText = ConvertTextToHtml(m.messageText);
    m.htmlPage = HtmlBody(m, clock, data.settings, phrases);
    const QString path = HtmlBodyFilePath(data.appDataFolder);
    // Written whole or not at all, so the file never holds a page cut short
    // by a full disk; a page that cannot be written stops the send, as it
    // always has. The page holds the message, so it is kept private like the
    // data files.
    if (!MakePrivateFolder(DataFolderPath(data.appDataFolder))
        || !WriteFileAtomically(path, m.htmlPage.toUtf8())) {
        outcome.ok = false;
        outcome.failedPath = path;
    }
    return outcome;
}

QString ConvertTextToHtml(const QString &messageText)
{
    QString html;
    html.reserve(messageText.size() + messageText.size() / 2);
    for (qsizetype i = 0; i < messageText.size(); ++i) {
        const QChar c = messageText.at(i);
        switch (c.unicode()) {
        case u'\n':
            break;
        case u'\r':
            if (i + 1 < messageText.size() && messageText.at(i + 1) == QLatin1Char('\n'))
                html += QStringLiteral("\r\n<br>");
            else
                html += c;
            break;
        case u' ': html += QStringLiteral("&nbsp;"); break;
        case u'&': html += QStringLiteral("&amp;"); break;
        case u'<': html += QStringLiteral("&lt;"); break;
        case u'>': html += QStringLiteral("&gt;"); break;
        case u'"': html += QStringLiteral("&quot;"); break;
        default: html += c; break;
        }
    }
    return html;
}
