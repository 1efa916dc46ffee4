#include "FuzzInput.h"

#include "mail/MailComposer.h"

#include <QDateTime>

// Every text of a draft from the input, in both body modes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList f = FuzzFields(data, size, 7);
    MailDraft draft;
    draft.from = f[0];
    draft.to = f[1];
    draft.subject = f[2];
    if (!f[3].isEmpty())
        draft.cc = f[3];
    if (!f[4].isEmpty())
        draft.bcc = f[4];
    draft.textBody = f[5];
    draft.htmlPage = f[6];
    draft.importance = size > 0 ? data[0] % 4 : 1;
    draft.date = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    draft.messageId = "fuzz@example.org";
    for (const bool html : {false, true}) {
        draft.html = html;
        ComposeMail(draft);
    }
    return 0;
}
