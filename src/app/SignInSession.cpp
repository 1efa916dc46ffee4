#include "app/SignInSession.h"

#include "app/ProgramLibraries.h"
#include "app/SendMail.h"
#include "mail/TokenReply.h"
#include "signin/SignInEntries.h"
#include "store/DataFiles.h"
#include "store/SignInChoices.h"
#include "store/StoredData.h"
#include "store/TextField.h"

#include <QDateTime>
#include <QMessageBox>

#include <utility>

namespace {

// The sending thread asks for a new access token when the held one has a
// minute or less left; with this much more than that left, it cannot come to
// that before the job runs, and the keyring need not be asked for the
// refresh token.
constexpr qint64 kHeldTokenSpareSeconds = 30;

SignInContext Context(const StoredData &data, const QString &account)
{
    return {account.trimmed(), DataFolderPath(data.appDataFolder)};
}

QString CannotLoad(const QString &path)
{
    return QStringLiteral("The sign-in library %1 cannot be loaded").arg(path);
}

} // namespace

bool SignInSession::prepare(const StoredData &data, const QString &libraryFolder, DeliveryJob &job, QString *failure)
{
    const SignInContext context = Context(data, ReadTextField(data.settings.smtpUserName));
    const SignInChoices choices = ReadSignInChoices(SignInChoicesPath(context.dataFolder));
    m_send.reset();
    if (!choices.active)
        return true;
    m_send = SignedInSend{context, choices};

    // The sign-in is the login: no password goes with it.
    job.useAuthentication = false;
    job.password.wipe();
    job.userName = context.account.toUtf8();
    SignedInLogin login;
    // The way chosen when signing in; a sign-in from before there was a
    // choice went over SMTP, and still does.
    if (!ParseSendThrough(choices.sendThrough, &login.through))
        login.through = SendThrough::Smtp;
    login.apiUrl = choices.apiUrl;
    if (context.account != m_heldAccount)
        m_held = {};
    login.held = m_held;
    const QDateTime soon = QDateTime::currentDateTimeUtc().addSecs(kHeldTokenSpareSeconds);
    if (AccessTokenUsable(m_held.accessToken, m_held.expiresAt, soon)) {
        job.signIn = std::move(login);
        return true;
    }
    const QString library = SignInLibraryPath(libraryFolder);
    const auto signInForSend = LibraryEntryAs<SignInForSendEntry>(library, kSignInForSendEntryName);
    if (!signInForSend) {
        *failure = CannotLoad(library);
        return false;
    }
    SendSignIn signIn;
    signInForSend(&context, &choices, &signIn);
    if (!signIn.ok) {
        // Still good as it is: the refresh token may not be needed.
        if (AccessTokenUsable(m_held.accessToken, m_held.expiresAt, QDateTime::currentDateTimeUtc())) {
            job.signIn = std::move(login);
            return true;
        }
        *failure = signIn.failure;
        if (signIn.over)
            markOver(*m_send);
        return false;
    }
    login.refresh = std::move(signIn.refresh);
    job.signIn = std::move(login);
    return true;
}

void SignInSession::sent(const QString &libraryFolder, const SendMailOutcome &outcome)
{
    const std::optional<SignedInSend> send = std::exchange(m_send, std::nullopt);
    if (!send)
        return;
    m_held = outcome.accessToken;
    m_heldAccount = send->context.account;
    if (outcome.signInOver)
        markOver(*send);
    if (outcome.newRefreshToken.isEmpty())
        return;
    // The old one is spent. Should the new one not be kept, the next refresh
    // fails and says to sign in again.
    const auto store = LibraryEntryAs<StoreRotatedRefreshTokenEntry>(SignInLibraryPath(libraryFolder),
                                                                     kStoreRotatedRefreshTokenEntryName);
    if (!store)
        return;
    QString failure;
    store(&send->context, &send->choices, &outcome.newRefreshToken, &failure);
}

void SignInSession::markOver(const SignedInSend &send)
{
    m_held = {};
    if (send.choices.expired)
        return;
    // Said by the sign-in dialog until the user signs in again. Should the
    // note not be written, the next send finds the same and says it anew.
    SignInChoices over = send.choices;
    over.expired = true;
    WriteSignInChoices(SignInChoicesPath(send.context.dataFolder), over);
}

std::optional<SuggestedSmtpServer> SignInSession::runDialog(QWidget *owner, const StoredData &data,
                                                            const QString &libraryFolder, const QString &account)
{
    const QString library = SignInLibraryPath(libraryFolder);
    const auto run = LibraryEntryAs<RunSignInDialogEntry>(library, kRunSignInDialogEntryName);
    if (!run) {
        QMessageBox::warning(owner, QStringLiteral("Quorvane"), CannotLoad(library) + u'.');
        return std::nullopt;
    }
    const SignInContext context = Context(data, account);
    SignInDialogResult result;
    run(&context, owner, &result);
    if (result.changed) {
        // Signed in anew, or out: what was held belongs to the sign-in before.
        m_held = result.accessToken;
        m_heldAccount = context.account;
    }
    return result.server;
}
