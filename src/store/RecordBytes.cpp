#include "store/RecordBytes.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// The integer fields are stored little-endian; on a big-endian host they are
// swapped on the way in and out so the files stay portable.
void SwapIntegers(SettingsRecord &r)
{
    if constexpr (std::endian::native == std::endian::big) {
        for (std::int32_t *v : {&r.customMessage1Enabled, &r.customMessage2Enabled, &r.useAuthentication,
                                &r.sendAsHtml, &r.autoCloseAfterSend, &r.bccToSender, &r.smtpPort,
                                &r.ccCaller, &r.keepOnTop}) {
            *v = qbswap(*v);
        }
    } else {
        (void)r;
    }
}

} // namespace

QByteArray SettingsToBytes(const SettingsRecord &record)
{
    SettingsRecord image = record;
    SwapIntegers(image);
    return QByteArray(reinterpret_cast<const char *>(&image), sizeof image);
}

void SettingsFromBytes(SettingsRecord &record, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    SettingsRecord image = record;
    SwapIntegers(image);
    std::memcpy(&image, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof image));
    SwapIntegers(image);
    record = image;
}

QByteArray RecipientsToBytes(const RecipientTable &table)
{
    return QByteArray(reinterpret_cast<const char *>(&table), sizeof table);
}

void RecipientsFromBytes(RecipientTable &table, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    std::memcpy(&table, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof table));
}
