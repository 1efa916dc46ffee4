#pragma once

#include <QString>

// A plain-text reading of an HTML page, for the text alternative of an HTML
// mail: tags out, whitespace collapsed as a browser would, line breaks for
// <br>, paragraphs, table rows, list items and other blocks, character
// references decoded (&nbsp; as an ordinary blank). Lines end in CR LF.
QString HtmlToText(const QString &html);
