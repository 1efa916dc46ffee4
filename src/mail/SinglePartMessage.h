#pragma once

#include <QByteArray>

struct ComposedMail;

// Whether a composed mail is one text alone: no page, no attachment. Such a
// mail goes out as a single text/plain part; libcurl's MIME tree would always
// wrap it in a multipart of one.
bool IsSinglePartMail(const ComposedMail &mail);

// The whole message of a single-part mail as it goes into DATA: the header
// lines, the part's Content-Type and Content-Transfer-Encoding, a blank line
// and the text in quoted-printable, whose lines stay within 76 characters
// and whose line ends are CR LF.
QByteArray SinglePartMessage(const ComposedMail &mail);

// Quoted-printable (RFC 2045) of UTF-8 text with CR LF line ends. A dot that
// would start a line is encoded too, so no line of the body can end the data.
QByteArray QuotedPrintable(const QByteArray &text);
