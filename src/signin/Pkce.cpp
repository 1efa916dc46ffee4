#include "signin/Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace {
constexpr auto kUrlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
}

QByteArray RandomUrlSafeToken()
{
    // QRandomGenerator::system() reads the operating system's source
    // (getrandom), never a seeded generator.
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), sizeof words);
    return bytes.toBase64(kUrlSafe);
}

QByteArray S256Challenge(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kUrlSafe);
}

PkcePair MakePkcePair()
{
    PkcePair pair;
    pair.verifier = RandomUrlSafeToken();
    pair.challenge = S256Challenge(pair.verifier);
    return pair;
}
