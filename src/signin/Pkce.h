#pragma once

#include <QByteArray>

// Proof Key for Code Exchange (RFC 7636) with the S256 method: the code the
// browser brings back is worth nothing without the verifier, which never
// leaves this program until the token request.
struct PkcePair {
    QByteArray verifier;  // 43 characters of base64url
    QByteArray challenge; // BASE64URL(SHA-256(verifier)), no padding
};

// 32 bytes from the system's random source, base64url without padding: for
// the verifier and for the request's `state`.
QByteArray RandomUrlSafeToken();

QByteArray S256Challenge(const QByteArray &verifier);

PkcePair MakePkcePair();
