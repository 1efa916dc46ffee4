#include "FuzzInput.h"

#include "mail/HeaderEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QStringList f = FuzzFields(data, size, 2);
    NeutraliseControls(f[0]);
    const QByteArray subject = EncodeUnstructured(f[0]);
    EncodeDisplayName(f[0]);
    FormatMailbox(f[0], f[1]);
    const Mailbox mailbox = SplitMailbox(f[0]);
    FoldHeader("Subject", subject);
    FoldHeader("To", f[1].toUtf8());
    (void)mailbox;
    return 0;
}
