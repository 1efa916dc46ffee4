#include "mail/MailComposer.h"

#include "mail/AddressList.h"
#include "mail/HeaderEncoding.h"
#include "mail/HtmlToText.h"

#include <QUuid>

#include <algorithm>

namespace {

ComposedMail Failed(const QString &why)
{
    ComposedMail mail;
    mail.failure = why;
    return mail;
}

QByteArray WithCrLf(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    t.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return t.toUtf8();
}

// "name <address>, ..." for a header; the names encoded where they need it.
QByteArray MailboxList(const QList<MailAddress> &addresses)
{
    QList<QByteArray> out;
    for (const MailAddress &a : addresses)
        out.append(FormatMailbox(a.displayName, a.address));
    return out.join(", ");
}

// Names the entry that cannot be used, as the user wrote it, so it can be
// found and mended.
QString AddressFailure(const QString &whose, const AddressList &list)
{
    return QStringLiteral("%1 \"%2\" cannot be used: %3.")
        .arg(whose, NeutraliseControls(list.badEntry).trimmed(), list.reason);
}

QByteArray ImportanceWord(std::int32_t importance)
{
    switch (importance) {
    case 0: return "low";
    case 2: return "high";
    default: return "normal";
    }
}

QByteArray PriorityValue(std::int32_t importance)
{
    switch (importance) {
    case 0: return "5 (Lowest)";
    case 2: return "1 (Highest)";
    default: return "3 (Normal)";
    }
}

bool IsAttrChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$&+-.^_`|~").contains(c);
}

// Content-Disposition for the attachment. A name that is not ASCII goes in
// RFC 2231 form alone: mail programs that read both forms take the plain
// one first, and an ASCII stand-in would win over the real name.
QByteArray Disposition(const QString &fileName)
{
    const QString name = NeutraliseControls(fileName);
    bool ascii = true;
    for (QChar c : name)
        ascii = ascii && c.unicode() < 0x7F;
    if (ascii) {
        QByteArray quoted;
        for (QChar c : name) {
            if (c == u'"' || c == u'\\')
                quoted.append('\\');
            quoted.append(static_cast<char>(c.unicode()));
        }
        return "attachment; filename=\"" + quoted + "\"";
    }
    QByteArray encoded;
    for (char c : name.toUtf8()) {
        if (IsAttrChar(c))
            encoded.append(c);
        else
            encoded.append('%').append(QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0'));
    }
    return "attachment; filename*=utf-8''" + encoded;
}

bool IsTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$&^_.+-").contains(c);
}

// "type/subtype", each a non-empty token: nothing that could carry
// parameters or a line break into the part's headers.
bool IsMediaType(const QByteArray &type)
{
    const qsizetype slash = type.indexOf('/');
    if (slash <= 0 || slash == type.size() - 1 || type.count('/') != 1)
        return false;
    return std::all_of(type.begin(), type.end(), [](char c) { return c == '/' || IsTokenChar(c); });
}

// Letters, digits, hyphens and dots, no empty label: a domain that can
// follow the "@" of a Message-ID.
bool IsPlainDomain(const QString &domain)
{
    if (domain.isEmpty() || domain.startsWith(u'.') || domain.endsWith(u'.') || domain.contains(QStringLiteral("..")))
        return false;
    return std::all_of(domain.begin(), domain.end(), [](QChar c) {
        return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == u'-' || c == u'.');
    });
}

} // namespace

bool IsSafeEnvelopeAddress(const QString &address)
{
    if (address.isEmpty())
        return false;
    for (QChar c : address) {
        if (c.unicode() <= 0x20 || c == u'<' || c == u'>' || c.category() == QChar::Other_Control ||
            c.isSpace() || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return false;
    }
    return true;
}

QByteArray NewMessageId(const QString &senderAddress)
{
    QString domain = senderAddress.mid(senderAddress.lastIndexOf(u'@') + 1).trimmed();
    if (!senderAddress.contains(u'@') || !IsPlainDomain(domain))
        domain = QStringLiteral("quorvane.invalid");
    return QUuid::createUuid().toByteArray(QUuid::Id128) + "@" + domain.toLatin1();
}

ComposedMail ComposeMail(const MailDraft &draft)
{
    // A mail from nobody (the null sender) could not be answered, and what
    // bounced would be thrown away unseen.
    const Mailbox sender = SplitMailbox(draft.from);
    if (sender.address.isEmpty())
        return Failed(QStringLiteral("There is no sender address: type yours as the Email Address in Setup."));
    if (!IsSafeEnvelopeAddress(sender.address))
        return Failed(QStringLiteral("The sender's address \"%1\" cannot be used.").arg(NeutraliseControls(sender.address)));

    const AddressList to = ParseAddressList(draft.to);
    if (!to.ok)
        return Failed(AddressFailure(QStringLiteral("The recipient address"), to));
    const AddressList cc = ParseAddressList(draft.cc.value_or(QString()));
    if (!cc.ok)
        return Failed(AddressFailure(QStringLiteral("The caller's address"), cc));
    const AddressList bcc = ParseAddressList(draft.bcc.value_or(QString()));
    if (!bcc.ok)
        return Failed(AddressFailure(QStringLiteral("The sender's address for the blind copy"), bcc));

    // Bare addresses on the envelope, each once; the names are for the
    // headers alone.
    ComposedMail mail;
    mail.envelopeFrom = sender.address.toUtf8();
    QStringList seen;
    for (const QList<MailAddress> &addresses : {to.addresses, cc.addresses, bcc.addresses}) {
        for (const MailAddress &a : addresses) {
            if (seen.contains(a.address, Qt::CaseInsensitive))
                continue;
            seen.append(a.address);
            mail.envelopeRecipients.append(a.address.toUtf8());
        }
    }
    if (mail.envelopeRecipients.isEmpty())
        return Failed(QStringLiteral("The message has no recipient."));

    // The blind copy lives on the envelope only.
    mail.headers.append(FoldHeader("From", FormatMailbox(sender.displayName, sender.address)));
    if (to.addresses.isEmpty())
        mail.headers.append("To: undisclosed-recipients:;");
    else
        mail.headers.append(FoldHeader("To", MailboxList(to.addresses)));
    if (!cc.addresses.isEmpty())
        mail.headers.append(FoldHeader("Cc", MailboxList(cc.addresses)));
    mail.headers.append(FoldHeader("Subject", EncodeUnstructured(draft.subject)));
    const QDateTime date = draft.date.isValid() ? draft.date : QDateTime::currentDateTime();
    mail.headers.append("Date: " + date.toString(Qt::RFC2822Date).toLatin1());
    const QByteArray messageId = draft.messageId.isEmpty() ? NewMessageId(sender.address) : draft.messageId;
    mail.headers.append("Message-ID: <" + NeutraliseControls(QString::fromLatin1(messageId)).toLatin1() + ">");
    mail.headers.append("MIME-Version: 1.0");
    mail.subject = draft.subject;
    mail.to = to.addresses;
    mail.cc = cc.addresses;
    mail.bcc = bcc.addresses;
    if (!bcc.addresses.isEmpty())
        mail.bccHeader = FoldHeader("Bcc", MailboxList(bcc.addresses));
    mail.importance = draft.importance;
    mail.headers.append("Importance: " + ImportanceWord(draft.importance));
    mail.headers.append("X-Priority: " + PriorityValue(draft.importance));

    if (draft.html) {
        // The text alternative is read off the page itself: the text body
        // left over from an earlier text-mode message says something else.
        mail.hasHtml = true;
        mail.html = WithCrLf(draft.htmlPage);
        mail.plainText = WithCrLf(HtmlToText(draft.htmlPage));
    } else {
        mail.plainText = WithCrLf(draft.textBody);
    }

    if (draft.attachment) {
        ComposedMail::Attachment attachment;
        attachment.path = draft.attachment->path;
        attachment.fileName = draft.attachment->fileName;
        attachment.mediaType = IsMediaType(draft.attachment->mediaType) ? draft.attachment->mediaType
                                                                         : QByteArray("application/octet-stream");
        attachment.disposition = Disposition(draft.attachment->fileName);
        mail.attachment = attachment;
    }
    mail.ok = true;
    return mail;
}
