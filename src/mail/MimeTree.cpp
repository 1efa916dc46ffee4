#include "mail/MimeTree.h"

#include "mail/MailComposer.h"

#include <QFile>

namespace {

bool FillTextPart(curl_mimepart *part, const QByteArray &text, const char *type)
{
    return curl_mime_data(part, text.constData(), static_cast<size_t>(text.size())) == CURLE_OK &&
           curl_mime_type(part, type) == CURLE_OK && curl_mime_encoder(part, "quoted-printable") == CURLE_OK;
}

bool FillAttachmentPart(curl_mimepart *part, const ComposedMail::Attachment &attachment)
{
    const QByteArray path = QFile::encodeName(attachment.path);
    if (curl_mime_filedata(part, path.constData()) != CURLE_OK)
        return false;
    // Our own Content-Disposition carries the name; libcurl's would not
    // encode a name that is not ASCII.
    if (curl_mime_filename(part, nullptr) != CURLE_OK || curl_mime_type(part, attachment.mediaType.constData()) != CURLE_OK ||
        curl_mime_encoder(part, "base64") != CURLE_OK)
        return false;
    const QByteArray disposition = "Content-Disposition: " + attachment.disposition;
    curl_slist *headers = curl_slist_append(nullptr, disposition.constData());
    if (!headers)
        return false;
    if (curl_mime_headers(part, headers, 1) != CURLE_OK) {
        curl_slist_free_all(headers);
        return false;
    }
    return true;
}

} // namespace

CurlMimePtr BuildMimeTree(CURL *easy, const ComposedMail &mail, QString *failure)
{
    CurlMimePtr root(curl_mime_init(easy));
    curl_mimepart *body = root ? curl_mime_addpart(root.get()) : nullptr;
    if (!body) {
        *failure = QStringLiteral("Out of memory while building the message");
        return nullptr;
    }
    if (mail.hasHtml) {
        CurlMimePtr alternative(curl_mime_init(easy));
        curl_mimepart *plain = alternative ? curl_mime_addpart(alternative.get()) : nullptr;
        curl_mimepart *html = alternative ? curl_mime_addpart(alternative.get()) : nullptr;
        if (!plain || !html || !FillTextPart(plain, mail.plainText, "text/plain; charset=utf-8") ||
            !FillTextPart(html, mail.html, "text/html; charset=utf-8") ||
            curl_mime_subparts(body, alternative.get()) != CURLE_OK) {
            *failure = QStringLiteral("Could not build the message body");
            return nullptr;
        }
        alternative.release(); // the part owns it now
        if (curl_mime_type(body, "multipart/alternative") != CURLE_OK) {
            *failure = QStringLiteral("Could not build the message body");
            return nullptr;
        }
    } else if (!FillTextPart(body, mail.plainText, "text/plain; charset=utf-8")) {
        *failure = QStringLiteral("Could not build the message body");
        return nullptr;
    }
    if (mail.attachment) {
        curl_mimepart *part = curl_mime_addpart(root.get());
        if (!part || !FillAttachmentPart(part, *mail.attachment)) {
            *failure = QStringLiteral("The attachment %1 cannot be read").arg(mail.attachment->path);
            return nullptr;
        }
    }
    return root;
}
