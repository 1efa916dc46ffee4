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

// Bytes after a text's terminator mean nothing to a reader, but they may be
// the tail of an older, longer value (a password above all): the files never
// carry them.
template <std::size_t N>
void ZeroAfterTerminator(std::array<char, N> &field)
{
    std::fill(std::find(field.begin(), field.end(), '\0'), field.end(), '\0');
}

} // namespace

QByteArray SettingsToBytes(const SettingsRecord &record)
{
    SettingsRecord image = record;
    ZeroAfterTerminator(image.smtpServer);
    ZeroAfterTerminator(image.senderName);
    ZeroAfterTerminator(image.senderAddress);
    ZeroAfterTerminator(image.customMessage1);
    ZeroAfterTerminator(image.customMessage2);
    ZeroAfterTerminator(image.smtpUserName);
    ZeroAfterTerminator(image.smtpPassword);
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
    RecipientTable image = table;
    for (RecipientEntry &entry : image.entries) {
        ZeroAfterTerminator(entry.name);
        ZeroAfterTerminator(entry.address);
    }
    return QByteArray(reinterpret_cast<const char *>(&image), sizeof image);
}

void RecipientsFromBytes(RecipientTable &table, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    std::memcpy(&table, bytes.data(), std::min<std::size_t>(bytes.size(), sizeof table));
}
