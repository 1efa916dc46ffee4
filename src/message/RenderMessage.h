#pragma once

#include "message/ClockTexts.h"
#include "message/MessageFormInputs.h"
#include "message/OutgoingMessage.h"

#include <QString>

struct StoredData;

struct RenderOutcome {
    bool ok = true;     // false: the HTML page file could not be written
    QString failedPath; // the file that could not be written
    OutgoingMessage message;
};

// Turns what the form showed at Send into the outgoing message: the
// addressees, the subject, the caller fields, the message text, the
// importance, and either the plain-text body (text mode) or the HTML page
// (HTML mode, chosen by data.activeSendAsHtml), dated by clock. The page is
// also written to the data folder's page file. The caller fields are cut to
// 127 characters and the message text to 9,999 (code points). When the page
// file cannot be written, ok is false, the file on disk keeps what it held,
// and the message must not be sent.
RenderOutcome RenderMessage(const MessageFormInputs &inputs, const ClockTexts &clock, const StoredData &data);

// Where the HTML page is written: the data folder's this_html_message.htm.
QString HtmlBodyFilePath(const QString &appDataFolder);

// The message text's HTML form: each "\r\n" becomes "\r\n<br>", other line
// feeds are dropped, each blank becomes "&nbsp;", and "&", "<", ">" and '"'
// are escaped: what was typed shows as typed, never as markup.
QString ConvertTextToHtml(const QString &messageText);
