#include "mail/MimeTree.h"

#include "mail/MailComposer.h"

#include <cstdint>
#include <cstdio>

namespace {

bool FillTextPart(curl_mimepart *part, const QByteArray &text, const char *type)
{
    return curl_mime_data(part, text.constData(), static_cast<size_t>(text.size())) == CURLE_OK &&
           curl_mime_type(part, type) == CURLE_OK && curl_mime_encoder(part, "quoted-printable") == CURLE_OK;
}

size_t ReadAttachment(char *buffer, size_t size, size_t count, void *stream)
{
    const std::int64_t n = static_cast<Base64FileStream *>(stream)->read(buffer, size * count);
    return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

int RewindAttachment(void *stream, curl_off_t offset, int origin)
{
    if (offset != 0 || origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    return static_cast<Base64FileStream *>(stream)->rewind() ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

bool FillAttachmentPart(curl_mimepart *part, const ComposedMail::Attachment &attachment, Base64FileStream *stream)
{
    if (curl_mime_data_cb(part, static_cast<curl_off_t>(stream->encodedSize()), ReadAttachment, RewindAttachment,
                          nullptr, stream) != CURLE_OK ||
        curl_mime_type(part, attachment.mediaType.constData()) != CURLE_OK)
        return false;
    // Our own Content-Disposition carries the name; libcurl's would not
    // encode a name that is not ASCII.
    curl_slist *headers = nullptr;
    for (const QByteArray &line : {QByteArray("Content-Transfer-Encoding: base64"),
                                   "Content-Disposition: " + attachment.disposition}) {
        curl_slist *grown = curl_slist_append(headers, line.constData());
        if (!grown) {
            curl_slist_free_all(headers);
            return false;
        }
        headers = grown;
    }
    if (curl_mime_headers(part, headers, 1) != CURLE_OK) {
        curl_slist_free_all(headers);
        return false;
    }
    return true;
}

} // namespace

MimeTree BuildMimeTree(CURL *easy, const ComposedMail &mail, QString *failure)
{
    MimeTree tree;
    CurlMimePtr root(curl_mime_init(easy));
    curl_mimepart *body = root ? curl_mime_addpart(root.get()) : nullptr;
    if (!body) {
        *failure = QStringLiteral("Out of memory while building the message");
        return {};
    }
    if (mail.hasHtml) {
        CurlMimePtr alternative(curl_mime_init(easy));
        curl_mimepart *plain = alternative ? curl_mime_addpart(alternative.get()) : nullptr;
        curl_mimepart *html = alternative ? curl_mime_addpart(alternative.get()) : nullptr;
        if (!plain || !html || !FillTextPart(plain, mail.plainText, "text/plain; charset=utf-8") ||
            !FillTextPart(html, mail.html, "text/html; charset=utf-8") ||
            curl_mime_subparts(body, alternative.get()) != CURLE_OK) {
            *failure = QStringLiteral("Could not build the message body");
            return {};
        }
        alternative.release(); // the part owns it now
        if (curl_mime_type(body, "multipart/alternative") != CURLE_OK) {
            *failure = QStringLiteral("Could not build the message body");
            return {};
        }
    } else if (!FillTextPart(body, mail.plainText, "text/plain; charset=utf-8")) {
        *failure = QStringLiteral("Could not build the message body");
        return {};
    }
    if (mail.attachment) {
        // Its size is taken now, as the send starts, and held to.
        tree.attachment = std::make_unique<Base64FileStream>();
        if (!tree.attachment->open(mail.attachment->path)) {
            *failure = tree.attachment->failure();
            return {};
        }
        // Encoded while the connection is made and the texts go out.
        tree.attachment->encodeAhead();
        curl_mimepart *part = curl_mime_addpart(root.get());
        if (!part || !FillAttachmentPart(part, *mail.attachment, tree.attachment.get())) {
            *failure = QStringLiteral("The attachment %1 cannot be read").arg(mail.attachment->path);
            return {};
        }
    }
    tree.mime = std::move(root);
    return tree;
}
