#pragma once

#include "mail/MailTransportOptions.h"
#include "mail/SmtpTransport.h"

#include <QByteArray>
#include <QString>

struct ComposedMail;
struct HttpReply;

// Which way a signed-in send goes out: the mail server over SMTP, or the
// provider's own mail service over HTTPS where SMTP is shut.
enum class SendThrough { Smtp, Graph, Gmail };

// "smtp", "graph", "gmail", as the sign-in's files write them. Inline, for
// the program and the sign-in library, which do not link this library.
inline QByteArray SendThroughName(SendThrough through)
{
    return through == SendThrough::Graph ? "graph" : through == SendThrough::Gmail ? "gmail" : "smtp";
}

inline bool ParseSendThrough(const QString &name, SendThrough *through)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("smtp"))
        *through = SendThrough::Smtp;
    else if (n == QLatin1String("graph"))
        *through = SendThrough::Graph;
    else if (n == QLatin1String("gmail"))
        *through = SendThrough::Gmail;
    else
        return false;
    return true;
}

// The services' own bases, where the administrator names none.
inline constexpr char kGraphApiUrl[] = "https://graph.microsoft.com/v1.0";
inline constexpr char kGmailApiUrl[] = "https://gmail.googleapis.com";

// Microsoft Graph: the message as MIME in base64 to /me/sendMail, or, when
// that would pass the service's 4 MB a request, as a draft whose attachment
// goes up in an upload session, then sent. Sent means 202 Accepted.
TransportResult SendThroughGraph(const QString &apiUrl, const char *accessToken, const ComposedMail &mail,
                                 const MailTransportOptions &options);

// The Gmail API: the message as it would go over SMTP, with its Bcc header
// (which Gmail takes the blind copies from and removes), in one upload up
// to 5 MB, resumable above, up to the service's 35 MB. Sent means 200 with
// the sent message's id.
TransportResult SendThroughGmail(const QString &apiUrl, const char *accessToken, const ComposedMail &mail,
                                 const MailTransportOptions &options);

// A reply that is not the one hoped for, in the service's own words: the
// status, the service's error code and message, and what it means for the
// send (a refused token, a sign-in that cannot send, a busy service).
TransportResult ServiceFailure(const QString &service, const HttpReply &reply);
