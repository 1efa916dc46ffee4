#pragma once

#include <QString>

#include <curl/curl.h>

#include <memory>

struct ComposedMail;

struct CurlMimeDeleter {
    void operator()(curl_mime *mime) const { curl_mime_free(mime); }
};
using CurlMimePtr = std::unique_ptr<curl_mime, CurlMimeDeleter>;

// The body of a composed mail as a libcurl MIME tree for easy: a mixed
// multipart holding the text (or a text/HTML alternative) and the attachment.
// Texts go quoted-printable, so no line breaks SMTP's length limit and CR LF
// line ends keep dot-stuffing working; the attachment goes base64, streamed
// from its file. Returns null, with the reason in failure, when a part cannot
// be built (an attachment that can no longer be read, for one).
CurlMimePtr BuildMimeTree(CURL *easy, const ComposedMail &mail, QString *failure);
