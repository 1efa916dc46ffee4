#include "app/OutboxRecord.h"

#include "message/OutgoingMessage.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>

namespace {

constexpr int kRecordVersion = 1;

QJsonValue Optional(const std::optional<QString> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

std::optional<QString> OptionalString(const QJsonValue &value)
{
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

QJsonObject Object(const QByteArray &json, bool *ok)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject object = document.object();
    *ok = error.error == QJsonParseError::NoError && document.isObject() &&
          object.value(QStringLiteral("version")).toInt() == kRecordVersion;
    return object;
}

} // namespace

StoredMessage MakeStoredMessage(const FormSnapshot &sent, const OutgoingMessage &rendered, const DeliveryJob &job,
                                const QDateTime &takenAt)
{
    const MailDraft &d = job.draft;
    StoredMessage m;
    m.takenAt = takenAt.toUTC();
    m.messageId = d.messageId;
    m.recipients = rendered.toList;
    m.callerName = sent.inputs.callerName;
    m.callerCompany = sent.inputs.callerCompany;
    m.callerPhone = sent.inputs.callerPhone;
    m.callerEmail = sent.inputs.callerEmail;
    m.messageText = sent.inputs.messageText;
    m.attachmentName = sent.hasAttachment ? QFileInfo(sent.attachmentPath).fileName() : QString();

    const QJsonObject delivery{
        {QStringLiteral("version"), kRecordVersion},
        {QStringLiteral("from"), d.from},
        {QStringLiteral("to"), d.to},
        {QStringLiteral("subject"), d.subject},
        {QStringLiteral("cc"), Optional(d.cc)},
        {QStringLiteral("bcc"), Optional(d.bcc)},
        {QStringLiteral("html"), d.html},
        {QStringLiteral("textBody"), d.textBody},
        {QStringLiteral("htmlPage"), d.htmlPage},
        {QStringLiteral("importance"), d.importance},
        {QStringLiteral("date"), d.date.toString(Qt::ISODateWithMs)},
        {QStringLiteral("messageId"), QString::fromUtf8(d.messageId)},
        {QStringLiteral("server"), job.server},
        {QStringLiteral("port"), job.port},
        {QStringLiteral("useAuthentication"), job.useAuthentication},
        {QStringLiteral("userName"), QString::fromUtf8(job.userName)},
    };
    m.delivery = QJsonDocument(delivery).toJson(QJsonDocument::Compact);

    QJsonArray recipients;
    for (std::size_t i = 0; i < sent.inputs.recipientTicked.size(); ++i) {
        if (sent.inputs.recipientTicked[i])
            recipients.append(static_cast<int>(i));
    }
    // In the table's order, so the same message makes the same record.
    QJsonArray phrases;
    for (const PhraseRow &row : kPhrases) {
        if (sent.inputs.tickedPhrases.contains(row.id))
            phrases.append(static_cast<int>(row.id));
    }
    const QJsonObject form{
        {QStringLiteral("version"), kRecordVersion},
        {QStringLiteral("recipients"), recipients},
        {QStringLiteral("phrases"), phrases},
        {QStringLiteral("callerName"), sent.inputs.callerName},
        {QStringLiteral("callerCompany"), sent.inputs.callerCompany},
        {QStringLiteral("callerPhone"), sent.inputs.callerPhone},
        {QStringLiteral("callerEmail"), sent.inputs.callerEmail},
        {QStringLiteral("messageText"), sent.inputs.messageText},
        {QStringLiteral("attachmentName"), sent.attachmentName},
        {QStringLiteral("selectAll"), sent.selectAllTicked},
        {QStringLiteral("ccCaller"), sent.ccCallerTicked},
    };
    m.form = QJsonDocument(form).toJson(QJsonDocument::Compact);
    return m;
}

std::optional<DeliveryJob> JobFromStoredMessage(const StoredMessage &message)
{
    bool ok = false;
    const QJsonObject o = Object(message.delivery, &ok);
    if (!ok)
        return std::nullopt;
    DeliveryJob job;
    MailDraft &d = job.draft;
    d.from = o.value(QStringLiteral("from")).toString();
    d.to = o.value(QStringLiteral("to")).toString();
    d.subject = o.value(QStringLiteral("subject")).toString();
    d.cc = OptionalString(o.value(QStringLiteral("cc")));
    d.bcc = OptionalString(o.value(QStringLiteral("bcc")));
    d.html = o.value(QStringLiteral("html")).toBool();
    d.textBody = o.value(QStringLiteral("textBody")).toString();
    d.htmlPage = o.value(QStringLiteral("htmlPage")).toString();
    d.importance = std::clamp(o.value(QStringLiteral("importance")).toInt(1), 0, 2);
    d.date = QDateTime::fromString(o.value(QStringLiteral("date")).toString(), Qt::ISODateWithMs);
    d.messageId = o.value(QStringLiteral("messageId")).toString().toUtf8();
    if (!d.date.isValid() || d.messageId.isEmpty())
        return std::nullopt;
    job.attachmentPath = message.attachmentPath;
    job.server = o.value(QStringLiteral("server")).toString();
    job.port = o.value(QStringLiteral("port")).toInt();
    job.useAuthentication = o.value(QStringLiteral("useAuthentication")).toBool();
    job.userName = o.value(QStringLiteral("userName")).toString().toUtf8();
    return job;
}

std::optional<FormSnapshot> SnapshotFromStoredMessage(const StoredMessage &message)
{
    bool ok = false;
    const QJsonObject o = Object(message.form, &ok);
    if (!ok)
        return std::nullopt;
    FormSnapshot s;
    for (const QJsonValue &v : o.value(QStringLiteral("recipients")).toArray()) {
        const int i = v.toInt(-1);
        if (i >= 0 && i < static_cast<int>(s.inputs.recipientTicked.size()))
            s.inputs.recipientTicked[static_cast<std::size_t>(i)] = true;
    }
    for (const QJsonValue &v : o.value(QStringLiteral("phrases")).toArray()) {
        const int id = v.toInt(-1);
        for (const PhraseRow &row : kPhrases) {
            if (static_cast<int>(row.id) == id)
                s.inputs.tickedPhrases.insert(row.id);
        }
    }
    s.inputs.callerName = o.value(QStringLiteral("callerName")).toString();
    s.inputs.callerCompany = o.value(QStringLiteral("callerCompany")).toString();
    s.inputs.callerPhone = o.value(QStringLiteral("callerPhone")).toString();
    s.inputs.callerEmail = o.value(QStringLiteral("callerEmail")).toString();
    s.inputs.messageText = o.value(QStringLiteral("messageText")).toString();
    s.hasAttachment = !message.attachmentPath.isEmpty();
    s.attachmentPath = message.attachmentPath;
    s.attachmentName = o.value(QStringLiteral("attachmentName")).toString();
    s.selectAllTicked = o.value(QStringLiteral("selectAll")).toBool();
    s.ccCallerTicked = o.value(QStringLiteral("ccCaller")).toBool();
    return s;
}

QDateTime NextTry(const QDateTime &failedAt, int attemptsSoFar, int retryAfterSeconds)
{
    static constexpr std::array<int, 5> kDelays = {30, 60, 120, 300, 600};
    const int delay = attemptsSoFar >= 1 && attemptsSoFar <= static_cast<int>(kDelays.size())
                          ? kDelays[static_cast<std::size_t>(attemptsSoFar - 1)]
                          : attemptsSoFar < 1 ? kDelays.front() : 900;
    return failedAt.addSecs(std::max(delay, std::min(retryAfterSeconds, 24 * 3600)));
}
