#include "signin/RefreshTokenStore.h"

#include "signin/KeyringStore.h"
#include "signin/TokenFile.h"

namespace {

QString FileFailure(const QString &path)
{
    return QStringLiteral("The sign-in could not be written to %1").arg(path);
}

} // namespace

StoredToken LoadRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                             std::chrono::milliseconds keyringWait)
{
    StoredToken out;
    if (choices.tokenInFile) {
        const TokenFileContents file = ReadTokenFileChecked(TokenFilePath(dataFolder));
        out.ok = file.ok;
        out.message = file.message;
        out.refreshToken = file.refreshToken;
        return out;
    }
    const KeyringResult read = ReadKeyringSecret(RefreshTokenKey(choices.provider, account), keyringWait);
    out.ok = read.status == KeyringStatus::Ok || read.status == KeyringStatus::NotFound;
    out.message = read.message;
    out.refreshToken = read.secret;
    return out;
}

QString SaveRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                         const QByteArray &refreshToken, std::chrono::milliseconds keyringWait)
{
    const QString path = TokenFilePath(dataFolder);
    if (choices.tokenInFile)
        return WriteTokenFile(path, refreshToken) ? QString() : FileFailure(path);
    const KeyringResult written = WriteKeyringSecret(RefreshTokenKey(choices.provider, account), refreshToken, keyringWait);
    if (written.status != KeyringStatus::Ok)
        return written.message;
    // In the keyring now: no copy stays in a plain file from an earlier choice.
    return RemoveTokenFile(path) ? QString() : QStringLiteral("An older sign-in could not be removed from %1").arg(path);
}

QString ForgetRefreshToken(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                           std::chrono::milliseconds keyringWait)
{
    const QString path = TokenFilePath(dataFolder);
    if (!RemoveTokenFile(path))
        return QStringLiteral("The sign-in could not be removed from %1").arg(path);
    if (choices.tokenInFile)
        return {};
    const KeyringResult removed = DeleteKeyringSecret(RefreshTokenKey(choices.provider, account), keyringWait);
    return removed.status == KeyringStatus::Ok ? QString() : removed.message;
}

QString StoredTokenProblem(const SignInChoices &choices, const QString &dataFolder)
{
    if (!choices.active || !choices.tokenInFile)
        return {};
    return ReadTokenFileChecked(TokenFilePath(dataFolder)).message;
}
