#include "signin/SignInEndpoints.h"

#include "ProductInfo.h"
#include "mail/TokenEndpoint.h"

#include <QRegularExpression>

namespace {

// OpenID Connect gives a refresh token for offline_access only when the user
// was asked to consent, and Google only with access_type=offline and
// consent, so a second sign-in (after a sign-out, say) would come back
// without one. Microsoft gives one for offline_access without asking again.
QString DefaultPrompt(SignInProvider provider, const QString &scope)
{
    if (provider == SignInProvider::Google)
        return QStringLiteral("consent");
    if (provider == SignInProvider::Custom && scope.split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("offline_access")))
        return QStringLiteral("consent");
    return {};
}

const QString kMicrosoft = QStringLiteral("microsoft");
const QString kGoogle = QStringLiteral("google");
const QString kCustom = QStringLiteral("custom");

QString Either(const QString &typed, const QString &deployed)
{
    return typed.trimmed().isEmpty() ? deployed.trimmed() : typed.trimmed();
}

SignInEndpoints Failed(const QString &why)
{
    SignInEndpoints out;
    out.failure = why;
    return out;
}

} // namespace

SignInSettings ChosenSignInSettings(const SignInChoices &choices)
{
    SignInSettings out{choices.provider, choices.clientId, {},           choices.tenant,
                       choices.authorizeUrl, choices.tokenUrl, choices.scope};
    out.sendThrough = choices.sendThrough;
    out.apiUrl = choices.apiUrl;
    return out;
}

SignInSettings MergeSignInSettings(const SignInSettings &typed, const SignInSettings &deployed)
{
    if (!deployed.problem.isEmpty()) {
        // Nothing signs in while the administrator's file is refused.
        SignInSettings out = typed;
        out.problem = deployed.problem;
        return out;
    }
    const QString typedProvider = typed.provider.trimmed().toLower();
    const QString deployedProvider = deployed.provider.trimmed().toLower();
    if (!typedProvider.isEmpty() && !deployedProvider.isEmpty() && typedProvider != deployedProvider) {
        SignInSettings out = typed;
        out.provider = typedProvider;
        return out;
    }
    SignInSettings out;
    out.provider = Either(typedProvider, deployedProvider);
    out.clientId = Either(typed.clientId, deployed.clientId);
    out.clientSecret = Either(typed.clientSecret, deployed.clientSecret);
    out.tenant = Either(typed.tenant, deployed.tenant);
    out.authorizeUrl = Either(typed.authorizeUrl, deployed.authorizeUrl);
    out.tokenUrl = Either(typed.tokenUrl, deployed.tokenUrl);
    out.scope = Either(typed.scope, deployed.scope);
    out.prompt = typed.prompt ? typed.prompt : deployed.prompt;
    out.revocationUrl = Either(typed.revocationUrl, deployed.revocationUrl);
    out.sendThrough = Either(typed.sendThrough, deployed.sendThrough).toLower();
    out.apiUrl = Either(typed.apiUrl, deployed.apiUrl);
    return out;
}

BuiltInClientIds CompiledInClientIds()
{
    return {QString::fromLatin1(kBuiltInMicrosoftClientId), QString::fromLatin1(kBuiltInGoogleClientId),
            QString::fromLatin1(kBuiltInGoogleClientSecret)};
}

SignInEndpoints ResolveSignInEndpoints(const SignInSettings &settings, const BuiltInClientIds &builtIn)
{
    SignInEndpoints out;
    if (!settings.problem.isEmpty())
        return Failed(settings.problem);
    const QString provider = settings.provider.trimmed().toLower();
    QString authorize = settings.authorizeUrl.trimmed();
    QString token = settings.tokenUrl.trimmed();
    QString scope = settings.scope.simplified();
    const QString through = settings.sendThrough.trimmed().toLower();
    if (through.isEmpty())
        out.sendThrough = provider == kMicrosoft ? SendThrough::Graph
                          : provider == kGoogle  ? SendThrough::Gmail
                                                 : SendThrough::Smtp;
    else if (!ParseSendThrough(through, &out.sendThrough))
        return Failed(QStringLiteral("\"%1\" is no way of sending this program knows (smtp, graph or gmail)").arg(through));
    if (out.sendThrough != SendThrough::Smtp) {
        out.apiUrl = settings.apiUrl.trimmed();
        if (out.apiUrl.isEmpty())
            out.apiUrl = QString::fromLatin1(out.sendThrough == SendThrough::Graph ? kGraphApiUrl : kGmailApiUrl);
        if (const QString problem = EndpointProblem(QUrl(out.apiUrl, QUrl::StrictMode)); !problem.isEmpty())
            return Failed(QStringLiteral("The mail service's URL %1").arg(problem));
    }
    // Graph's permission is named at the cloud the service is in (a
    // national cloud has its own address).
    const QUrl api(out.apiUrl);
    const QString graphScope = (api.scheme() == u"https" ? QStringLiteral("https://") + api.host()
                                                          : QStringLiteral("https://graph.microsoft.com")) +
                               QStringLiteral("/Mail.Send offline_access openid profile");
    if (provider == kMicrosoft) {
        out.provider = SignInProvider::Microsoft;
        const QString tenant = settings.tenant.trimmed().isEmpty() ? QStringLiteral("organizations") : settings.tenant.trimmed();
        // It becomes a path segment of the provider's address.
        static const QRegularExpression tenantPattern(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.-]*$"));
        if (!tenantPattern.match(tenant).hasMatch())
            return Failed(QStringLiteral("The tenant \"%1\" is not a tenant name or id").arg(tenant));
        const QString base = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/").arg(tenant);
        if (authorize.isEmpty())
            authorize = base + QStringLiteral("authorize");
        if (token.isEmpty())
            token = base + QStringLiteral("token");
        if (scope.isEmpty())
            scope = out.sendThrough == SendThrough::Graph
                        ? graphScope
                        : QStringLiteral("https://outlook.office.com/SMTP.Send offline_access openid profile");
        out.redirectHost = QStringLiteral("localhost");
    } else if (provider == kGoogle) {
        out.provider = SignInProvider::Google;
        if (authorize.isEmpty())
            authorize = QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth");
        if (token.isEmpty())
            token = QStringLiteral("https://oauth2.googleapis.com/token");
        if (scope.isEmpty())
            scope = out.sendThrough == SendThrough::Gmail
                        ? QStringLiteral("https://www.googleapis.com/auth/gmail.send openid email")
                        : QStringLiteral("https://mail.google.com/ openid email");
        out.redirectHost = QStringLiteral("127.0.0.1");
    } else if (provider == kCustom) {
        out.provider = SignInProvider::Custom;
        if (authorize.isEmpty() || token.isEmpty())
            return Failed(QStringLiteral("Type the authorization URL and the token URL"));
        out.redirectHost = QStringLiteral("127.0.0.1");
    } else if (provider.isEmpty()) {
        return Failed(QStringLiteral("Choose who signs you in"));
    } else {
        return Failed(QStringLiteral("\"%1\" is not a provider this program knows").arg(settings.provider.trimmed()));
    }
    out.clientId = settings.clientId.trimmed();
    out.clientSecret = settings.clientSecret.trimmed();
    if (out.clientId.isEmpty() && out.provider == SignInProvider::Microsoft)
        out.clientId = builtIn.microsoft;
    if (out.clientId.isEmpty() && out.provider == SignInProvider::Google) {
        out.clientId = builtIn.google;
        if (out.clientSecret.isEmpty())
            out.clientSecret = builtIn.googleSecret;
    }
    if (out.clientId.isEmpty())
        return Failed(QStringLiteral("No client id is set: type the one your administrator registered"));
    out.authorizeUrl = QUrl(authorize, QUrl::StrictMode);
    out.tokenUrl = QUrl(token, QUrl::StrictMode);
    if (const QString problem = EndpointProblem(out.authorizeUrl); !problem.isEmpty())
        return Failed(QStringLiteral("The authorization URL %1").arg(problem));
    if (const QString problem = EndpointProblem(out.tokenUrl); !problem.isEmpty())
        return Failed(QStringLiteral("The token URL %1").arg(problem));
    out.scope = scope;
    out.prompt = settings.prompt ? settings.prompt->simplified() : DefaultPrompt(out.provider, scope);
    out.ok = true;
    return out;
}

SuggestedSmtpServer SmtpServerFor(const SignInSettings &settings)
{
    const QString provider = settings.provider.trimmed().toLower();
    if (provider == kMicrosoft) {
        // Outlook.com and Hotmail mailboxes send through their own server.
        if (settings.tenant.trimmed().compare(QStringLiteral("consumers"), Qt::CaseInsensitive) == 0)
            return {QStringLiteral("smtp-mail.outlook.com"), 587};
        return {QStringLiteral("smtp.office365.com"), 587};
    }
    if (provider == kGoogle)
        return {QStringLiteral("smtp.gmail.com"), 587};
    return {};
}
