#include "mail/DeliveryJob.h"

#include "mail/AttachmentType.h"
#include "mail/SmtpTransport.h"
#include "mail/TransportPolicy.h"

#include <QFileInfo>

#include <utility>

namespace {

DeliveryOutcome Failed(const QString &why)
{
    return {false, why};
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

    const TransportPlan plan = PlanTransport(job.server, job.port, job.useAuthentication, job.options);
    if (!plan.ok)
        return Failed(plan.failure);

    const SmtpCredentials credentials{job.userName, job.password.text()};
    const TransportResult result =
        SubmitMail(plan, job.useAuthentication ? &credentials : nullptr, mail, job.options);
    return result.sent ? DeliveryOutcome{true, {}} : Failed(result.failure);
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
