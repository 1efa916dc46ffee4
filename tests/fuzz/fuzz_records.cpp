#include "FuzzInput.h"

#include "store/RecordBytes.h"
#include "store/RecipientTable.h"
#include "store/SettingsRecord.h"

// A data file of any bytes is read, and what was read is written back.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    SettingsRecord settings{};
    SettingsFromBytes(settings, bytes);
    SettingsToBytes(settings);
    RecipientTable recipients{};
    RecipientsFromBytes(recipients, bytes);
    RecipientsToBytes(recipients);
    return 0;
}
