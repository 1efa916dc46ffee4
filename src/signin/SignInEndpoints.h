#pragma once

#include "mail/MailServiceTransport.h"
#include "signin/SignInSettings.h"
#include "store/SignInChoices.h"

#include <QString>
#include <QUrl>

enum class SignInProvider { Microsoft, Google, Custom };

// Everything the browser flow and the token endpoint need, with the
// provider's defaults filled in and checked.
struct SignInEndpoints {
    bool ok = false;
    QString failure; // why not, when !ok; for the sign-in dialog's status line
    SignInProvider provider = SignInProvider::Custom;
    QString clientId;
    QString clientSecret;
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
    QString prompt; // empty: none sent
    // How its sends go out, and the mail service's base address (empty for
    // SMTP).
    SendThrough sendThrough = SendThrough::Smtp;
    QString apiUrl{};
    // The host the provider expects in the loopback redirect: Microsoft
    // matches a registered "http://localhost" on any port, others take the
    // address itself.
    QString redirectHost;
};

// The choices as the settings they were typed as, to lay over the
// administrator's file.
SignInSettings ChosenSignInSettings(const SignInChoices &choices);

// The dialog's values laid over the deployed file's: a field typed in the
// dialog wins. When the dialog names another provider than the file, none of
// the file's values apply, as they belong to another registration.
SignInSettings MergeSignInSettings(const SignInSettings &typed, const SignInSettings &deployed);

// Fills in the provider's endpoints and scope, and refuses what would send a
// code or a token where it could be read or redirected: every endpoint must
// be https, except plain http to this machine's loopback address.
//
// Neither the dialog nor the file giving a client id, the one built into the
// program is used (builtIn; by default the build's own, which a distributor
// or an office may set). The way sends go out is the provider's own mail
// service unless SMTP is chosen, and the scope follows it unless one is given.
struct BuiltInClientIds {
    QString microsoft;
    QString google;
    QString googleSecret;
};
BuiltInClientIds CompiledInClientIds();
SignInEndpoints ResolveSignInEndpoints(const SignInSettings &settings,
                                       const BuiltInClientIds &builtIn = CompiledInClientIds());

// The SMTP server a provider's mailboxes send through, for filling an empty
// host in Setup; host empty when the provider has no one server.
struct SuggestedSmtpServer {
    QString host;
    int port = 0;
};
SuggestedSmtpServer SmtpServerFor(const SignInSettings &settings);
