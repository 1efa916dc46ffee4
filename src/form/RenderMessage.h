#pragma once

#include "form/MessageFormInputs.h"

#include <QString>

struct AppState;

struct RenderOutcome {
    bool ok = true;     // false: the HTML body file could not be written
    QString failedPath; // the file that could not be written
};

// Turns what the form showed at Send into state.message: the addressees, the
// subject, the caller fields, the message text, the importance, and either
// the plain-text body (text mode) or the HTML body file and its file:// URL
// (HTML mode, chosen by state.activeSendAsHtml). Reads the clock texts, the
// settings, the recipients and the data folder from state.
// The caller fields are cut to 127 characters and the message text to 9,999
// (code points). When the HTML file cannot be written, ok is false, the file
// on disk and htmlFilePath and htmlFileUrl keep their previous values, and the
// message must not be sent.
RenderOutcome RenderMessage(AppState &state, const MessageFormInputs &inputs);

// Where the HTML body is written: the data folder's this_html_message.htm.
QString HtmlBodyFilePath(const QString &appDataFolder);

// The message text's HTML form: each "\r\n" becomes "\r\n<br>", other line
// feeds are dropped, and each blank becomes "&nbsp;". Markup passes unchanged.
QString ConvertTextToHtml(const QString &messageText);
