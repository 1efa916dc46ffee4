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

// The server or the mail service refused the sign-in's token. One held from
// an earlier send may have been revoked before its time: it is dropped and
// one new one is asked for. A refused fresh token means the sign-in itself
// is over.
TransportResult RetrySignedIn(const DeliveryJob &job, const TransportPlan &plan, const ComposedMail &mail,
                              SmtpCredentials &credentials, SendAuthorization &authorization, DeliveryOutcome &outcome,
                              TransportResult result)
{
    if (!authorization.refreshed) {
        authorization = AccessTokenForSend({}, job.signIn->refresh, QDateTime::currentDateTimeUtc());
        if (!authorization.newRefreshToken.isEmpty())
            outcome.newRefreshToken = authorization.newRefreshToken;
        if (!authorization.ok) {
            outcome.signInOver = authorization.failure == TokenFailure::InvalidGrant;
            TransportResult failed;
            failed.failure = authorization.message;
            // The provider could not be reached: the sign-in itself is fine.
            failed.mayWorkLater = authorization.failure == TokenFailure::Unreachable;
            return failed;
        }
        credentials.bearerToken = authorization.token.accessToken.constData();
        result = Submit(job, plan, &credentials, mail);
    }
    if (result.loginRefused) {
        outcome.signInOver = true;
        result.failure = SignInRefusedMessage(result.loginRefusal);
    } else if (result.tokenRefused) {
        outcome.signInOver = true;
        result.failure += QStringLiteral(". The sign-in is no longer valid: sign in again from Setup.");
    }
    return result;
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
            outcome.signInOver = authorization.failure == TokenFailure::InvalidGrant;
            return outcome;
        }
        credentials.password = nullptr;
        credentials.bearerToken = authorization.token.accessToken.constData();
    }
    TransportResult result = Submit(job, plan, login ? &credentials : nullptr, mail);
    if (job.signIn && (result.loginRefused || result.tokenRefused))
        result = RetrySignedIn(job, plan, mail, credentials, authorization, outcome, result);
    outcome.sent = result.sent;
    outcome.failure = result.failure;
    outcome.mayWorkLater = result.mayWorkLater;
    outcome.signInOver = outcome.signInOver || result.signInOver;
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
