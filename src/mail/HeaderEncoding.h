#pragma once

#include <QByteArray>
#include <QString>

// Header text for outgoing mail. Values come from what users typed, so none
// of them may carry a line break into the header block, and anything that is
// not plain ASCII goes out as RFC 2047 encoded words.

// Every run of CR and LF, and every other control character, becomes one
// blank: a typed value can never start a header line of its own.
QString NeutraliseControls(const QString &value);

// Unstructured text (the Subject): as it stands when it is plain printable
// ASCII, otherwise UTF-8 encoded words of at most 75 characters each.
QByteArray EncodeUnstructured(const QString &text);

// A display name as RFC 5322 needs it: bare when it is a run of atoms,
// quoted when it holds specials ("Smith, Jane" stays one name), encoded
// words when it is not ASCII.
QByteArray EncodeDisplayName(const QString &name);

// "name <address>", or the bare address when there is no name.
QByteArray FormatMailbox(const QString &displayName, const QString &address);

// The sender text handed to delivery, "name <address>", split back into its
// two parts. A text without angle brackets is all address.
struct Mailbox {
    QString displayName;
    QString address;
};
Mailbox SplitMailbox(const QString &text);

// One header line "Name: value", folded at blanks so that lines stay near 78
// characters where the value allows. No CR LF at the end.
QByteArray FoldHeader(const QByteArray &name, const QByteArray &value);
