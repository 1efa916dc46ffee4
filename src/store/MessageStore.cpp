#include "store/MessageStore.h"

#include "store/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kSchemaVersion = 1;

const char *const kSchemaV1 = R"sql(
CREATE TABLE messages(
  id INTEGER PRIMARY KEY,
  taken_at INTEGER NOT NULL,
  message_id TEXT NOT NULL UNIQUE,
  state TEXT NOT NULL CHECK(state IN ('waiting', 'sent', 'not_sent')),
  recipients TEXT NOT NULL DEFAULT '',
  caller_name TEXT NOT NULL DEFAULT '',
  caller_company TEXT NOT NULL DEFAULT '',
  caller_phone TEXT NOT NULL DEFAULT '',
  caller_email TEXT NOT NULL DEFAULT '',
  message_text TEXT NOT NULL DEFAULT '',
  delivery BLOB NOT NULL,
  form BLOB NOT NULL,
  attachment_name TEXT NOT NULL DEFAULT '',
  attachment_path TEXT NOT NULL DEFAULT '',
  attempts INTEGER NOT NULL DEFAULT 0,
  last_failure TEXT NOT NULL DEFAULT '',
  next_try INTEGER,
  sent_at INTEGER
);
CREATE INDEX messages_taken ON messages(taken_at);
CREATE INDEX messages_due ON messages(state, next_try);
CREATE VIRTUAL TABLE message_search USING fts5(
  recipients, caller_name, caller_company, caller_phone, caller_email, message_text,
  content='messages', content_rowid='id', tokenize='unicode61 remove_diacritics 2');
CREATE TRIGGER messages_indexed AFTER INSERT ON messages BEGIN
  INSERT INTO message_search(rowid, recipients, caller_name, caller_company, caller_phone, caller_email, message_text)
  VALUES (new.id, new.recipients, new.caller_name, new.caller_company, new.caller_phone, new.caller_email,
          new.message_text);
END;
CREATE TRIGGER messages_unindexed AFTER DELETE ON messages BEGIN
  INSERT INTO message_search(message_search, rowid, recipients, caller_name, caller_company, caller_phone,
                             caller_email, message_text)
  VALUES ('delete', old.id, old.recipients, old.caller_name, old.caller_company, old.caller_phone,
          old.caller_email, old.message_text);
END;
)sql";

const char *const kColumns = "id, taken_at, message_id, state, recipients, caller_name, caller_company, caller_phone, "
                             "caller_email, message_text, delivery, form, attachment_name, attachment_path, attempts, "
                             "last_failure, next_try, sent_at";

struct StatementDeleter {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

qint64 Millis(const QDateTime &t)
{
    return t.toMSecsSinceEpoch();
}

QDateTime FromMillis(sqlite3_stmt *s, int column)
{
    if (sqlite3_column_type(s, column) == SQLITE_NULL)
        return {};
    return QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(s, column), Qt::UTC);
}

QString Text(sqlite3_stmt *s, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, column)), sqlite3_column_bytes(s, column));
}

QByteArray Blob(sqlite3_stmt *s, int column)
{
    return QByteArray(static_cast<const char *>(sqlite3_column_blob(s, column)), sqlite3_column_bytes(s, column));
}

MessageState StateNamed(const QString &name)
{
    if (name == u"sent")
        return MessageState::Sent;
    if (name == u"not_sent")
        return MessageState::NotSent;
    return MessageState::Waiting;
}

StoredMessage Row(sqlite3_stmt *s)
{
    StoredMessage m;
    m.id = sqlite3_column_int64(s, 0);
    m.takenAt = FromMillis(s, 1);
    m.messageId = Text(s, 2).toUtf8();
    m.state = StateNamed(Text(s, 3));
    m.recipients = Text(s, 4);
    m.callerName = Text(s, 5);
    m.callerCompany = Text(s, 6);
    m.callerPhone = Text(s, 7);
    m.callerEmail = Text(s, 8);
    m.messageText = Text(s, 9);
    m.delivery = Blob(s, 10);
    m.form = Blob(s, 11);
    m.attachmentName = Text(s, 12);
    m.attachmentPath = Text(s, 13);
    m.attempts = sqlite3_column_int(s, 14);
    m.lastFailure = Text(s, 15);
    m.nextTry = FromMillis(s, 16);
    m.sentAt = FromMillis(s, 17);
    return m;
}

void BindText(sqlite3_stmt *s, int index, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    sqlite3_bind_text(s, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void BindBlob(sqlite3_stmt *s, int index, const QByteArray &bytes)
{
    sqlite3_bind_blob(s, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

bool SyncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A copy of source at target, a new file readable by its owner only, synced
// with its folder. False (and nothing left at target) on any failure.
bool CopySynced(const QString &source, const QString &target)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return false;
    }
    const QByteArray out8 = QFile::encodeName(target);
    const int out = ::open(out8.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
        if (!ok)
            break;
    }
    ok = ok && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    ok = ok && SyncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
    if (!ok)
        ::unlink(out8.constData());
    return ok;
}

// Every word of what was typed, each also as the start of a longer word,
// quoted so that nothing typed is read as FTS5 syntax.
QString SearchQuery(const QString &typed)
{
    QStringList words;
    QString word;
    const auto flush = [&] {
        if (!word.isEmpty())
            words.append(QLatin1Char('"') + word + QStringLiteral("\"*"));
        word.clear();
    };
    for (const QChar c : typed) {
        if (c.isLetterOrNumber() || c.isMark())
            word += c;
        else
            flush();
    }
    flush();
    return words.join(QLatin1Char(' '));
}

} // namespace

const char *MessageStateName(MessageState state)
{
    switch (state) {
    case MessageState::Sent: return "sent";
    case MessageState::NotSent: return "not_sent";
    case MessageState::Waiting: break;
    }
    return "waiting";
}

MessageStore::MessageStore() = default;

MessageStore::~MessageStore()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

QString MessageStore::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Lumarc/quorvane/messages.sqlite");
}

bool MessageStore::fail(const QString &why) const
{
    m_failure = m_db ? QStringLiteral("%1 (%2)").arg(why, QString::fromUtf8(sqlite3_errmsg(m_db))) : why;
    return false;
}

bool MessageStore::exec(const char *sql) const
{
    char *error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    m_failure = QStringLiteral("The message store %1 could not be used (%2)").arg(m_path, QString::fromUtf8(error ? error : "?"));
    sqlite3_free(error);
    return false;
}

QString MessageStore::attachmentFolder() const
{
    return QFileInfo(m_path).absolutePath() + QStringLiteral("/messages.attachments");
}

bool MessageStore::open(const QString &path)
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_path = path;
    m_failure.clear();
    if (!MakePrivateFolder(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("The folder for the message store %1 cannot be made").arg(path));
    // The database and its journal files are private to the user, as the
    // data files are: they hold what callers said.
    const mode_t before = ::umask(0077);
    const QByteArray file = QFile::encodeName(path);
    const int opened = sqlite3_open_v2(file.constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    ::umask(before);
    if (opened != SQLITE_OK) {
        fail(QStringLiteral("The message store %1 cannot be opened").arg(path));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    ::chmod(file.constData(), 0600);
    sqlite3_busy_timeout(m_db, 5000);
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;") || !migrate()) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    return true;
}

bool MessageStore::migrate()
{
    Statement version;
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &raw, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("The message store %1 cannot be read").arg(m_path));
    version.reset(raw);
    const int current = sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int(raw, 0) : 0;
    version.reset();
    if (current > kSchemaVersion) {
        m_failure = QStringLiteral("The message store %1 was written by a newer Quorvane").arg(m_path);
        return false;
    }
    if (current == kSchemaVersion)
        return true;
    // Each step from one version to the next, in one transaction with the
    // version it ends at, so that a crash leaves the old schema or the new.
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    if (current < 1)
        ok = exec(kSchemaV1);
    ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion).toLatin1().constData());
    if (!ok || !exec("COMMIT")) {
        const QString why = m_failure;
        exec("ROLLBACK");
        m_failure = why;
        return false;
    }
    return true;
}

std::optional<std::int64_t> MessageStore::add(const StoredMessage &m, const QString &attachmentSource)
{
    if (!m_db) {
        m_failure = QStringLiteral("The message store is not open");
        return std::nullopt;
    }
    QString copy;
    if (!attachmentSource.isEmpty()) {
        const QString folder = attachmentFolder() + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString name = m.attachmentName.isEmpty() ? QFileInfo(attachmentSource).fileName() : m.attachmentName;
        copy = folder + u'/' + QFileInfo(name).fileName();
        if (!MakePrivateFolder(folder) || !SyncPath(attachmentFolder(), O_RDONLY | O_DIRECTORY) ||
            !CopySynced(attachmentSource, copy)) {
            QDir(folder).removeRecursively();
            m_failure = QStringLiteral("The attachment %1 could not be kept with the message in %2")
                            .arg(attachmentSource, attachmentFolder());
            return std::nullopt;
        }
    }
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = QByteArray("INSERT INTO messages(taken_at, message_id, state, recipients, caller_name, "
                                      "caller_company, caller_phone, caller_email, message_text, delivery, form, "
                                      "attachment_name, attachment_path, next_try) "
                                      "VALUES (?, ?, 'waiting', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    bool ok = sqlite3_prepare_v2(m_db, sql.constData(), -1, &raw, nullptr) == SQLITE_OK;
    Statement insert(raw);
    if (ok) {
        sqlite3_bind_int64(raw, 1, Millis(m.takenAt));
        BindText(raw, 2, QString::fromUtf8(m.messageId));
        BindText(raw, 3, m.recipients);
        BindText(raw, 4, m.callerName);
        BindText(raw, 5, m.callerCompany);
        BindText(raw, 6, m.callerPhone);
        BindText(raw, 7, m.callerEmail);
        BindText(raw, 8, m.messageText);
        BindBlob(raw, 9, m.delivery);
        BindBlob(raw, 10, m.form);
        BindText(raw, 11, copy.isEmpty() ? QString() : QFileInfo(copy).fileName());
        BindText(raw, 12, copy);
        sqlite3_bind_int64(raw, 13, Millis(m.takenAt));
        ok = sqlite3_step(raw) == SQLITE_DONE;
    }
    if (!ok) {
        fail(QStringLiteral("The message could not be kept in %1").arg(m_path));
        if (!copy.isEmpty())
            QDir(QFileInfo(copy).absolutePath()).removeRecursively();
        return std::nullopt;
    }
    return sqlite3_last_insert_rowid(m_db);
}

std::optional<StoredMessage> MessageStore::message(std::int64_t id) const
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = QByteArray("SELECT ") + kColumns + " FROM messages WHERE id = ?";
    if (!m_db || sqlite3_prepare_v2(m_db, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, id);
    if (sqlite3_step(raw) != SQLITE_ROW)
        return std::nullopt;
    return Row(raw);
}

std::optional<StoredMessage> MessageStore::nextDue(const QDateTime &now) const
{
    sqlite3_stmt *raw = nullptr;
    const QByteArray sql = QByteArray("SELECT ") + kColumns +
                           " FROM messages WHERE state = 'waiting' AND next_try <= ? ORDER BY taken_at, id LIMIT 1";
    if (!m_db || sqlite3_prepare_v2(m_db, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        return std::nullopt;
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, Millis(now));
    if (sqlite3_step(raw) != SQLITE_ROW)
        return std::nullopt;
    return Row(raw);
}

QDateTime MessageStore::nextDueAt() const
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, "SELECT MIN(next_try) FROM messages WHERE state = 'waiting'", -1, &raw,
                                    nullptr) != SQLITE_OK)
        return {};
    Statement s(raw);
    return sqlite3_step(raw) == SQLITE_ROW ? FromMillis(raw, 0) : QDateTime();
}

int MessageStore::waitingCount() const
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db ||
        sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM messages WHERE state = 'waiting'", -1, &raw, nullptr) != SQLITE_OK)
        return 0;
    Statement s(raw);
    return sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int(raw, 0) : 0;
}

bool MessageStore::markSent(std::int64_t id, const QDateTime &at)
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db,
                                    "UPDATE messages SET state = 'sent', sent_at = ?, next_try = NULL, "
                                    "attempts = attempts + 1, last_failure = '' WHERE id = ?",
                                    -1, &raw, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("The message store %1 cannot be written").arg(m_path));
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, Millis(at));
    sqlite3_bind_int64(raw, 2, id);
    return sqlite3_step(raw) == SQLITE_DONE && sqlite3_changes(m_db) == 1;
}

bool MessageStore::markWaiting(std::int64_t id, const QString &failure, const QDateTime &nextTry)
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db,
                                    "UPDATE messages SET state = 'waiting', next_try = ?, attempts = attempts + 1, "
                                    "last_failure = ? WHERE id = ? AND state != 'sent'",
                                    -1, &raw, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("The message store %1 cannot be written").arg(m_path));
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, Millis(nextTry));
    BindText(raw, 2, failure);
    sqlite3_bind_int64(raw, 3, id);
    return sqlite3_step(raw) == SQLITE_DONE && sqlite3_changes(m_db) == 1;
}

bool MessageStore::markNotSent(std::int64_t id, const QString &failure)
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db,
                                    "UPDATE messages SET state = 'not_sent', next_try = NULL, attempts = attempts + 1, "
                                    "last_failure = ? WHERE id = ? AND state != 'sent'",
                                    -1, &raw, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("The message store %1 cannot be written").arg(m_path));
    Statement s(raw);
    BindText(raw, 1, failure);
    sqlite3_bind_int64(raw, 2, id);
    return sqlite3_step(raw) == SQLITE_DONE && sqlite3_changes(m_db) == 1;
}

bool MessageStore::makeAllDue(const QDateTime &now)
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, "UPDATE messages SET next_try = ? WHERE state = 'waiting' AND next_try > ?",
                                    -1, &raw, nullptr) != SQLITE_OK)
        return false;
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, Millis(now));
    sqlite3_bind_int64(raw, 2, Millis(now));
    return sqlite3_step(raw) == SQLITE_DONE;
}

QList<StoredMessage> MessageStore::list(const QString &search, int limit) const
{
    QList<StoredMessage> out;
    const QString query = SearchQuery(search);
    QByteArray sql = QByteArray("SELECT ") + kColumns + " FROM messages";
    if (!query.isEmpty())
        sql += " WHERE id IN (SELECT rowid FROM message_search WHERE message_search MATCH ?)";
    sql += " ORDER BY taken_at DESC, id DESC LIMIT ?";
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, sql.constData(), -1, &raw, nullptr) != SQLITE_OK)
        return out;
    Statement s(raw);
    int index = 1;
    if (!query.isEmpty())
        BindText(raw, index++, query);
    sqlite3_bind_int(raw, index, limit);
    while (sqlite3_step(raw) == SQLITE_ROW)
        out.append(Row(raw));
    return out;
}

bool MessageStore::removeAttachments(const QList<std::int64_t> &ids)
{
    bool ok = true;
    for (const std::int64_t id : ids) {
        const std::optional<StoredMessage> m = message(id);
        if (m && !m->attachmentPath.isEmpty())
            ok = QDir(QFileInfo(m->attachmentPath).absolutePath()).removeRecursively() && ok;
    }
    return ok;
}

bool MessageStore::remove(std::int64_t id)
{
    if (!m_db)
        return false;
    removeAttachments({id});
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "DELETE FROM messages WHERE id = ?", -1, &raw, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("The message store %1 cannot be written").arg(m_path));
    Statement s(raw);
    sqlite3_bind_int64(raw, 1, id);
    return sqlite3_step(raw) == SQLITE_DONE;
}

int MessageStore::pruneSent(const QDateTime &now, int keepDays)
{
    if (!m_db)
        return -1;
    const qint64 before = keepDays <= 0 ? Millis(now) + 1 : Millis(now.addDays(-keepDays));
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT id FROM messages WHERE state = 'sent' AND taken_at < ?", -1, &raw, nullptr) !=
        SQLITE_OK)
        return -1;
    Statement select(raw);
    sqlite3_bind_int64(raw, 1, before);
    QList<std::int64_t> ids;
    while (sqlite3_step(raw) == SQLITE_ROW)
        ids.append(sqlite3_column_int64(raw, 0));
    select.reset();
    removeAttachments(ids);
    if (sqlite3_prepare_v2(m_db, "DELETE FROM messages WHERE state = 'sent' AND taken_at < ?", -1, &raw, nullptr) !=
        SQLITE_OK)
        return -1;
    Statement remove(raw);
    sqlite3_bind_int64(raw, 1, before);
    if (sqlite3_step(raw) != SQLITE_DONE)
        return -1;
    return sqlite3_changes(m_db);
}

bool MessageStore::integrityOk() const
{
    sqlite3_stmt *raw = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &raw, nullptr) != SQLITE_OK)
        return false;
    Statement s(raw);
    return sqlite3_step(raw) == SQLITE_ROW && Text(raw, 0) == u"ok" && sqlite3_step(raw) == SQLITE_DONE;
}
