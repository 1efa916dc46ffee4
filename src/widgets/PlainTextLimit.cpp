#include "widgets/PlainTextLimit.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>

namespace {

struct LastInsertion {
    int end = 0; // position just after the text last inserted
    bool cutting = false;
};

} // namespace

void LimitPlainText(QPlainTextEdit *edit, int maxChars)
{
    auto last = std::make_shared<LastInsertion>();
    QTextDocument *document = edit->document();
    // The document is only read while it reports a change; the cut is made
    // once the change is complete.
    QObject::connect(document, &QTextDocument::contentsChange, edit, [last](int from, int, int added) {
        last->end = from + added;
    });
    QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxChars, last] {
        if (last->cutting)
            return;
        QTextDocument *document = edit->document();
        const int length = document->characterCount() - 1; // less the final block end
        const int excess = length - maxChars;
        if (excess <= 0)
            return;
        const int end = std::clamp(last->end, excess, length);
        int start = end - excess;
        // Never keep half of a character that takes two UTF-16 units.
        if (start > 0 && document->characterAt(start).isLowSurrogate())
            --start;
        QTextCursor cursor(document);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        last->cutting = true;
        cursor.removeSelectedText();
        last->cutting = false;
    });
}
