#include "FuzzInput.h"

#include "mail/TokenReply.h"

#include <QDateTime>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    // The first byte picks the HTTP status among those that matter.
    static const int statuses[] = {200, 400, 401, 500};
    const int status = size > 0 ? statuses[data[0] % 4] : 200;
    const QByteArray body = size > 0 ? FuzzBytes(data + 1, size - 1) : QByteArray();
    const TokenResult result = ParseTokenReply(status, body, now);
    AccessTokenUsable(result.accessToken, result.expiresAt, now);
    return 0;
}
