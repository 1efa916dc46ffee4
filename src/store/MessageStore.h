#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct sqlite3;

// Where a message stands: waiting to go (first try or a retry), taken by
// the server, or not sent until the user does something about it.
enum class MessageState { Waiting, Sent, NotSent };

// A message as the store keeps it. The texts a person looks things up by
// are columns of their own; what delivery and the form need to send it again
// or put it back are opaque blobs their owners write and read.
struct StoredMessage {
    std::int64_t id = 0;
    QDateTime takenAt;            // UTC; the moment Send was pressed
    QByteArray messageId;         // fixed when taken: every try sends the same message
    MessageState state = MessageState::Waiting;
    QString recipients;           // the To line, as rendered
    QString callerName;
    QString callerCompany;
    QString callerPhone;
    QString callerEmail;
    QString messageText;          // as typed
    QByteArray delivery;          // everything sending needs, the password excepted
    QByteArray form;              // what the form needs to put it back
    QString attachmentName;       // as the user chose it; empty: none
    QString attachmentPath;       // the store's own copy
    int attempts = 0;
    QString lastFailure;
    QDateTime nextTry;            // UTC; waiting only
    QDateTime sentAt;             // UTC; sent only
};

// The messages taken, in an SQLite database (write-ahead log, every commit
// synced) with the attachments copied into a folder beside it, private to
// the user like the data files. Nothing here knows about widgets or mail:
// plain values in, plain values out. One store per thread; SQLite's own
// locking keeps two connections to one file safe.
class MessageStore {
public:
    MessageStore();
    ~MessageStore();
    MessageStore(const MessageStore &) = delete;
    MessageStore &operator=(const MessageStore &) = delete;

    // $XDG_DATA_HOME/Lumarc/quorvane/messages.sqlite (~/.local/share/...).
    static QString DefaultPath();

    // Opens (making if missing, and bringing an older schema up to date)
    // the database at path. False, with the reason in failure(), when it
    // cannot be opened, made or read.
    bool open(const QString &path);
    bool isOpen() const { return m_db != nullptr; }
    QString failure() const { return m_failure; }

    // Keeps message, waiting, with a copy of the file at attachmentSource as
    // it is now (empty: none), all synced to disk before it returns: a crash
    // or a power cut afterwards loses nothing. The id, or nothing with the
    // reason in failure() (a full disk, a read-only folder), in which case
    // nothing of it is kept.
    std::optional<std::int64_t> add(const StoredMessage &message, const QString &attachmentSource);

    std::optional<StoredMessage> message(std::int64_t id) const;

    // The oldest waiting message whose next try has come by now.
    std::optional<StoredMessage> nextDue(const QDateTime &now) const;
    // When the next waiting message is due; invalid: none waits.
    QDateTime nextDueAt() const;
    int waitingCount() const;

    // Right after the server's final acceptance, in one transaction.
    bool markSent(std::int64_t id, const QDateTime &at);
    // A failure that may pass: tried again at nextTry.
    bool markWaiting(std::int64_t id, const QString &failure, const QDateTime &nextTry);
    // A failure only the user can mend.
    bool markNotSent(std::int64_t id, const QString &failure);
    // Every waiting message due at once (the network is back, Setup closed).
    bool makeAllDue(const QDateTime &now);

    // Newest first, at most limit; with a search text, only those whose
    // recipients, caller fields or text hold every word of it (each word
    // also as the start of a longer one: "ja" finds "Jane").
    QList<StoredMessage> list(const QString &search = QString(), int limit = 500) const;

    // Forgets a message and its attachment copy.
    bool remove(std::int64_t id);
    // Sent messages taken before now less keepDays (0: every sent one), with
    // their attachments; waiting and not-sent ones are never pruned. The
    // number forgotten, or -1.
    int pruneSent(const QDateTime &now, int keepDays);

    // PRAGMA integrity_check says "ok".
    bool integrityOk() const;

private:
    bool exec(const char *sql) const;
    bool migrate();
    bool fail(const QString &why) const;
    QString attachmentFolder() const;
    bool removeAttachments(const QList<std::int64_t> &ids);

    sqlite3 *m_db = nullptr;
    QString m_path;
    mutable QString m_failure;
};

// The SQL words of the states, as the database holds them.
const char *MessageStateName(MessageState state);
