#pragma once

#include "mail/Base64FileStream.h"

#include <QString>

#include <curl/curl.h>

#include <memory>

struct ComposedMail;

struct CurlMimeDeleter {
    void operator()(curl_mime *mime) const { curl_mime_free(mime); }
};
using CurlMimePtr = std::unique_ptr<curl_mime, CurlMimeDeleter>;

// A built body and the attachment stream it reads from. The tree is freed
// first: it reads from the stream until then.
struct MimeTree {
    std::unique_ptr<Base64FileStream> attachment;
    CurlMimePtr mime;
};

// The body of a composed mail as a libcurl MIME tree for easy: a mixed
// multipart holding the text (or a text/HTML alternative) and the attachment.
// Texts go quoted-printable, so no line breaks SMTP's length limit and CR LF
// line ends keep dot-stuffing working. The attachment is handed over already
// base64, encoded in large blocks ahead of libcurl's reads on a thread of the
// stream's own: libcurl's own encoder gives a few hundred bytes per read, and
// its SMTP upload sends each read on its own. The tree's mime is null, with the reason in failure, when a
// part cannot be built (an attachment that can no longer be read, for one).
MimeTree BuildMimeTree(CURL *easy, const ComposedMail &mail, QString *failure);
