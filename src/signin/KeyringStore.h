#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// The desktop keyring (the Secret Service: GNOME Keyring, KWallet,
// KeePassXC) through the keychain library, with every wait bounded: a keyring
// that is locked and prompting, or a session bus that never answers, ends in
// a message, not a frozen program. Call on the UI thread: the keychain
// library runs its jobs one at a time on the thread of the first caller.
enum class KeyringStatus { Ok, NotFound, Unavailable, TimedOut };

struct KeyringResult {
    KeyringStatus status = KeyringStatus::Unavailable;
    QString message;   // for the user, when neither Ok nor NotFound
    QByteArray secret; // what was read
};

inline constexpr std::chrono::milliseconds kKeyringWait{std::chrono::seconds(10)};

// The keyring entry of one sign-in: one per provider and account.
QString RefreshTokenKey(const QString &provider, const QString &account);

KeyringResult ReadKeyringSecret(const QString &key, std::chrono::milliseconds limit = kKeyringWait);
KeyringResult WriteKeyringSecret(const QString &key, const QByteArray &secret,
                                 std::chrono::milliseconds limit = kKeyringWait);
// An entry that is not there counts as deleted.
KeyringResult DeleteKeyringSecret(const QString &key, std::chrono::milliseconds limit = kKeyringWait);
