#pragma once

#include <QByteArray>

// Quoted-printable (RFC 2045) of UTF-8 text with CR LF line ends: lines stay
// within 76 characters, so none breaks SMTP's length limit. A dot that would
// start a line is encoded too, so no line of the body can end the data, and
// an "=" always is, so no encoded text can hold a MIME boundary that begins
// with "=_".
QByteArray QuotedPrintable(const QByteArray &text);
