#include "mail/DeliveryJob.h"

#include "mail/AttachmentType.h"
#include "mail/SmtpTransport.h"
#include "mail/TransportPolicy.h"

#include <QDateTime>
#include <QFileInfo>

#include <utility>

namespace {

DeliveryOutcome Failed(const QString &why)
{
    DeliveryOutcome outcome;
    outcome.failure = why;
    return outcome;
}

TransportResult Submit(const DeliveryJob &job, const TransportPlan &plan, const SmtpCredentials *credentials,
                       const ComposedMail &mail)
{
    if (job.signIn && job.signIn->through == SendThrough::Graph)
        return SendThroughGraph(job.signIn->apiUrl, credentials->bearerToken, mail, job.options);
    if (job.signIn && job.signIn->through == SendThrough::Gmail)
        return SendThroughGmail(job.signIn->apiUrl, credentials->bearerToken, mail, job.options);
    return SubmitMail(plan, credentials, mail, job.options);
}

} // namespace

DeliveryOutcome Deliver(DeliveryJob job)
{
    if (!job.attachmentPath.isEmpty()) {
        // Only a plain file: a device or a pipe could stream without end.
        const QFileInfo file(job.attachmentPath);
        if (!file.isFile() || !file.isReadable())
            return Failed(QStringLiteral("The attachment %1 cannot be read").arg(job.attachmentPath));
        job.draft.attachment = MailAttachment{job.attachmentPath, file.fileName(), DetectMediaType(job.attachmentPath)};
    }

    const ComposedMail mail = ComposeMail(job.draft);
    if (!mail.ok)
        return Failed(mail.failure);

    // A sign-in is a login like a password: the same TLS rules hold for it.
    // A mail service's API needs no server of Setup's.
    const bool login = job.useAuthentication || job.signIn;
    const bool throughService = job.signIn && job.signIn->through != SendThrough::Smtp;
    const TransportPlan plan = throughService ? TransportPlan{} : PlanTransport(job.server, job.port, login, job.options);
    if (!throughService && !plan.ok)
        return Failed(plan.failure);

    DeliveryOutcome outcome;
    SmtpCredentials credentials{job.userName, job.password.text()};
    SendAuthorization authorization;
    if (job.signIn) {
        authorization = AccessTokenForSend(job.signIn->held, job.signIn->refresh, QDateTime::currentDateTimeUtc());
        outcome.newRefreshToken = authorization.newRefreshToken;
        if (!authorization.ok) {
            outcome.failure = authorization.message;
            // The provider could not be reached: the sign-in itself is fine.
            outcome.mayWorkLater = authorization.failure == TokenFailure::Unreachable;
            return outcome;
        }
        credentials.password = nullptr;
        credentials.bearerToken = authorization.token.accessToken.constData();
    }
    TransportResult result = Submit(job, plan, login ? &credentials : nullptr, mail);
    if (result.tokenRefused && job.signIn && !authorization.refreshed && !job.signIn->refresh.refreshToken.isEmpty()) {
        // The held token was taken back early (a password change, a revoked
        // grant): one fresh token, one more try.
        authorization = AccessTokenForSend({}, job.signIn->refresh, QDateTime::currentDateTimeUtc());
        if (!authorization.newRefreshToken.isEmpty())
            outcome.newRefreshToken = authorization.newRefreshToken;
        if (!authorization.ok) {
            outcome.failure = authorization.message;
            // The provider could not be reached: the sign-in itself is fine.
            outcome.mayWorkLater = authorization.failure == TokenFailure::Unreachable;
            return outcome;
        }
        credentials.bearerToken = authorization.token.accessToken.constData();
        result = Submit(job, plan, &credentials, mail);
    }
    if (result.tokenRefused)
        result.failure += QStringLiteral(". The sign-in is no longer valid: sign in again from Setup.");
    outcome.sent = result.sent;
    outcome.failure = result.failure;
    outcome.mayWorkLater = result.mayWorkLater;
    outcome.retryAfter = result.retryAfter;
    // A token the server refused is not offered again: the next send asks
    // for a new one.
    if (result.sent && job.signIn)
        outcome.accessToken = authorization.token;
    return outcome;
}

void PrepareToDeliver()
{
    PrepareTransport();
    PrepareMediaTypes();
}

extern "C" Q_DECL_EXPORT void QuorvanePrepareToDeliver()
{
    PrepareToDeliver();
}

extern "C" Q_DECL_EXPORT void QuorvaneDeliver(DeliveryJob *job, DeliveryOutcome *outcome)
{
    *outcome = Deliver(std::move(*job));
}
