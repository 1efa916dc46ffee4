#include "signin/SignOut.h"

#include "mail/TokenEndpoint.h"
#include "signin/KeyringStore.h"
#include "signin/TokenFile.h"

#include <QStringList>
#include <QUrl>

namespace {

const char *const kProviders[] = {"microsoft", "google", "custom"};

constexpr std::chrono::seconds kRevocationWait{10};

// Where a provider takes revocations, and with which client: the file's
// address for its own provider wins; Google has one of its own; Microsoft
// offers none for these tokens.
struct Revocation {
    QUrl url;
    QString clientId;
    QString clientSecret;
};

Revocation RevocationFor(const QString &provider, const SignInChoices &choices, const SignInSettings &deployed)
{
    Revocation out;
    const bool fileSays = deployed.provider.compare(provider, Qt::CaseInsensitive) == 0 || deployed.provider.isEmpty();
    if (fileSays && !deployed.revocationUrl.isEmpty())
        out.url = QUrl(deployed.revocationUrl, QUrl::StrictMode);
    else if (provider == QStringLiteral("google"))
        out.url = QUrl(QStringLiteral("https://oauth2.googleapis.com/revoke"));
    if (fileSays) {
        out.clientId = deployed.clientId;
        out.clientSecret = deployed.clientSecret;
    }
    if (choices.provider.compare(provider, Qt::CaseInsensitive) == 0 && !choices.clientId.isEmpty())
        out.clientId = choices.clientId;
    return out;
}

} // namespace

SignOutResult SignOutEverywhere(const SignInChoices &choices, const QString &account, const QString &dataFolder,
                          const SignInSettings &deployed, std::chrono::milliseconds keyringWait)
{
    QStringList notRemoved;
    QStringList notRevoked;
    auto revoke = [&](const QString &provider, const QByteArray &token) {
        const Revocation revocation = RevocationFor(provider, choices, deployed);
        if (token.isEmpty() || revocation.url.isEmpty())
            return;
        const QString failure =
            RevokeRefreshToken(revocation.url, revocation.clientId, revocation.clientSecret, token, kRevocationWait);
        if (!failure.isEmpty() && !notRevoked.contains(failure))
            notRevoked.append(failure);
    };

    // The private file holds the sign-in of the provider chosen with it.
    const QString path = TokenFilePath(dataFolder);
    revoke(choices.provider.trimmed().toLower(), ReadTokenFile(path));
    if (!RemoveTokenFile(path))
        notRemoved.append(QStringLiteral("The sign-in could not be removed from %1").arg(path));
    // Chosen because there is no keyring: it is not waited for.
    if (!choices.tokenInFile) {
        for (const char *name : kProviders) {
            const QString provider = QLatin1String(name);
            const QString key = RefreshTokenKey(provider, account);
            const KeyringResult read = ReadKeyringSecret(key, keyringWait);
            if (read.status == KeyringStatus::NotFound)
                continue;
            if (read.status != KeyringStatus::Ok) {
                notRemoved.append(read.message);
                break;
            }
            revoke(provider, read.secret);
            const KeyringResult removed = DeleteKeyringSecret(key, keyringWait);
            if (removed.status != KeyringStatus::Ok) {
                notRemoved.append(removed.message);
                break;
            }
        }
    }
    if (!notRemoved.isEmpty())
        return {false, notRemoved.join(QStringLiteral("; "))};
    if (!notRevoked.isEmpty())
        return {true, QStringLiteral("Signed out here, but the provider could not be told: %1")
                          .arg(notRevoked.join(QStringLiteral("; ")))};
    return {true, {}};
}
