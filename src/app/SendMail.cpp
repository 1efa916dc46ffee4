#include "app/SendMail.h"

#include "app/ProgramLibraries.h"
#include "message/OutgoingMessage.h"
#include "store/StoredPassword.h"
#include "store/StoredData.h"
#include "store/TextField.h"

#include <QDateTime>

#include <utility>

DeliveryJob MakeDeliveryJob(const StoredData &data, const OutgoingMessage &message,
                            const MailTransportOptions &options)
{
    const SettingsRecord &settings = data.settings;
    DeliveryJob job;
    MailDraft &draft = job.draft;
    draft.from = ReadTextField(settings.senderName) + QStringLiteral(" <") + ReadTextField(settings.senderAddress) +
                 QStringLiteral(">");
    draft.to = message.toList;
    draft.subject = message.subject;
    if (settings.bccToSender == 1)
        draft.bcc = ReadTextField(settings.senderAddress);
    if (settings.ccCaller == 1 && message.callerEmail.contains(u'@'))
        draft.cc = message.callerEmail;
    if (message.html) {
        draft.html = true;
        draft.htmlPage = message.htmlPage;
    } else {
        draft.textBody = message.textBody;
    }
    draft.importance = message.importance;
    draft.date = QDateTime::currentDateTime();
    job.attachmentPath = message.attachmentPath;

    job.server = data.activeSmtpServer;
    job.port = settings.smtpPort;
    job.useAuthentication = settings.useAuthentication == 1;
    if (job.useAuthentication) {
        job.userName = ReadTextField(settings.smtpUserName).toUtf8();
        RecoverPassword(settings.smtpPassword, job.password.bytes());
    }
    job.options = options;
    return job;
}

SendMailOutcome SendMailWithReason(DeliveryJob job, const QString &libraryFolder)
{
    const DeliverEntry deliver = MailLibraryEntry(libraryFolder);
    if (!deliver)
        return {1, QStringLiteral("The mail library %1 cannot be loaded").arg(MailLibraryPath(libraryFolder)), {}, {},
                false, -1, false};
    DeliveryOutcome outcome;
    deliver(&job, &outcome);
    return {outcome.sent ? 0 : 1,
            outcome.failure,
            outcome.accessToken,
            outcome.newRefreshToken,
            outcome.mayWorkLater && !outcome.sent,
            outcome.retryAfter,
            outcome.signInOver && !outcome.sent};
}

int SendMail(DeliveryJob job, const QString &libraryFolder)
{
    return SendMailWithReason(std::move(job), libraryFolder).result;
}
