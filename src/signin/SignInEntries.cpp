#include "signin/SignInEntries.h"

#include "mail/TokenReply.h"
#include "signin/RefreshTokenStore.h"
#include "signin/SignInConfigFile.h"
#include "signin/SignInDialog.h"

namespace {

// The choices as typed, over the administrator's file.
SignInSettings EffectiveSettings(const SignInChoices &choices)
{
    return MergeSignInSettings(ChosenSignInSettings(choices), ReadSignInConfigFile(FindSignInConfigFile()));
}

} // namespace

SignInDialogResult RunSignInDialog(const SignInContext &context, QWidget *owner)
{
    SignInDialogInputs inputs;
    inputs.account = context.account;
    inputs.dataFolder = context.dataFolder;
    inputs.deployed = ReadSignInConfigFile(FindSignInConfigFile());
    inputs.readDeployed = [] { return ReadSignInConfigFile(FindSignInConfigFile()); };
    inputs.choices = ReadSignInChoices(SignInChoicesPath(context.dataFolder));
    inputs.keyringWait = context.keyringWait;

    SignInDialogResult result;
    SignInDialog dialog(inputs, owner);
    QObject::connect(&dialog, &SignInDialog::signedIn, &dialog, [&](const QByteArray &token, const QDateTime &expiresAt) {
        result.accessToken = {token, expiresAt};
    });
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
    result.choices = dialog.choices();
    result.changed = result.choices != inputs.choices || !result.accessToken.accessToken.isEmpty();
    result.server = SmtpServerFor(MergeSignInSettings(dialog.typedSettings(), inputs.readDeployed()));
    return result;
}

SendSignIn SignInForSend(const SignInContext &context, const SignInChoices &choices)
{
    SendSignIn out;
    if (context.account.trimmed().isEmpty()) {
        out.failure = QStringLiteral("No Username in Setup: the sign-in is for that account");
        return out;
    }
    const SignInEndpoints endpoints = ResolveSignInEndpoints(EffectiveSettings(choices));
    if (!endpoints.ok) {
        out.failure = endpoints.failure;
        return out;
    }
    const StoredToken stored = LoadRefreshToken(choices, context.account, context.dataFolder, context.keyringWait);
    if (!stored.ok) {
        out.failure = stored.message;
        return out;
    }
    if (stored.refreshToken.isEmpty()) {
        out.failure = SignInExpiredMessage();
        out.over = true;
        return out;
    }
    out.ok = true;
    out.refresh.tokenUrl = endpoints.tokenUrl;
    out.refresh.clientId = endpoints.clientId;
    out.refresh.clientSecret = endpoints.clientSecret;
    out.refresh.scope = endpoints.scope;
    out.refresh.refreshToken = stored.refreshToken;
    return out;
}

QString StoreRotatedRefreshToken(const SignInContext &context, const SignInChoices &choices,
                                 const QByteArray &refreshToken)
{
    return SaveRefreshToken(choices, context.account, context.dataFolder, refreshToken, context.keyringWait);
}

extern "C" Q_DECL_EXPORT void QuorvaneRunSignInDialog(const SignInContext *context, QWidget *owner,
                                                      SignInDialogResult *result)
{
    *result = RunSignInDialog(*context, owner);
}

extern "C" Q_DECL_EXPORT void QuorvaneSignInForSend(const SignInContext *context, const SignInChoices *choices,
                                                    SendSignIn *result)
{
    *result = SignInForSend(*context, *choices);
}

extern "C" Q_DECL_EXPORT void QuorvaneStoreRotatedRefreshToken(const SignInContext *context,
                                                               const SignInChoices *choices,
                                                               const QByteArray *refreshToken, QString *failure)
{
    *failure = StoreRotatedRefreshToken(*context, *choices, *refreshToken);
}
