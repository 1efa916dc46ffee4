#include "mail/SendMail.h"

#include "app/AppState.h"
#include "mail/AttachmentType.h"
#include "mail/MailComposer.h"
#include "mail/SmtpTransport.h"
#include "mail/TransportPolicy.h"
#include "store/StoredPassword.h"
#include "store/TextField.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace {

// Leaves the clear password nowhere once the send is over, on every path out.
class ScratchWiper {
public:
    explicit ScratchWiper(std::array<char, 128> &scratch) : scratch_(scratch) {}
    ~ScratchWiper() { std::fill(scratch_.begin(), scratch_.end(), '\0'); }
    ScratchWiper(const ScratchWiper &) = delete;
    ScratchWiper &operator=(const ScratchWiper &) = delete;

private:
    std::array<char, 128> &scratch_;
};

// Rendering writes "file://" and the path as it stands (blanks and all), but
// a properly encoded file URL is taken too.
QString LocalPathOf(const QString &fileUrl)
{
    const QString prefix = QStringLiteral("file://");
    if (fileUrl.startsWith(prefix, Qt::CaseInsensitive)) {
        const QString path = fileUrl.mid(prefix.size());
        if (QFileInfo(path).isFile())
            return path;
    }
    const QUrl url(fileUrl);
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

std::optional<QString> ReadPage(const QString &fileUrl)
{
    QFile file(LocalPathOf(fileUrl));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

SendMailOutcome Failed(const QString &why)
{
    return {1, why};
}

} // namespace

SendMailOutcome SendMailWithReason(AppState &state, const QString &from, const QString &to, const QString &subject,
                                   const QString &textBody, const MailTransportOptions &options)
{
    ScratchWiper wiper(state.passwordScratch);
    const SettingsRecord &settings = state.settings;
    const OutgoingMessage &message = state.message;

    MailDraft draft;
    draft.from = from;
    draft.to = to;
    draft.subject = subject;
    if (settings.bccToSender == 1)
        draft.bcc = ReadTextField(settings.senderAddress);
    if (settings.ccCaller == 1 && message.callerEmail.contains(u'@'))
        draft.cc = message.callerEmail;
    if (state.activeSendAsHtml != 0) {
        const std::optional<QString> page = ReadPage(message.htmlFileUrl);
        if (!page)
            return Failed(QStringLiteral("The message page %1 cannot be read").arg(message.htmlFileUrl));
        draft.html = true;
        draft.htmlPage = *page;
    } else {
        draft.textBody = textBody;
    }
    if (message.hasAttachment == 1) {
        // Only a plain file: a device or a pipe could stream without end.
        const QFileInfo file(message.attachmentPath);
        if (!file.isFile() || !file.isReadable())
            return Failed(QStringLiteral("The attachment %1 cannot be read").arg(message.attachmentPath));
        draft.attachment = MailAttachment{message.attachmentPath, file.fileName(), DetectMediaType(message.attachmentPath)};
    }
    draft.importance = message.importance;
    draft.date = QDateTime::currentDateTime();

    const ComposedMail mail = ComposeMail(draft);
    if (!mail.ok)
        return Failed(mail.failure);

    const bool useAuthentication = settings.useAuthentication == 1;
    const TransportPlan plan = PlanTransport(state.activeSmtpServer, settings.smtpPort, useAuthentication, options);
    if (!plan.ok)
        return Failed(plan.failure);

    std::optional<SmtpCredentials> credentials;
    if (useAuthentication) {
        RecoverPassword(settings.smtpPassword, state.passwordScratch);
        credentials = SmtpCredentials{ReadTextField(settings.smtpUserName).toUtf8(), state.passwordScratch.data()};
    }
    const TransportResult result = SubmitMail(plan, credentials ? &*credentials : nullptr, mail, options);
    return result.sent ? SendMailOutcome{0, {}} : Failed(result.failure);
}

int SendMail(AppState &state, const QString &from, const QString &to, const QString &subject, const QString &textBody,
             const MailTransportOptions &options)
{
    return SendMailWithReason(state, from, to, subject, textBody, options).result;
}
