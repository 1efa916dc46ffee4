#pragma once

#include "mail/AccessTokenForSend.h"
#include "signin/SignInEndpoints.h"
#include "signin/SignInEntries.h"
#include "store/SignInChoices.h"

#include <QString>

#include <optional>

class QWidget;
struct DeliveryJob;
struct SendMailOutcome;
struct StoredData;

// The mail provider's sign-in as this run of the program holds it: the
// access token between sends, in memory only. The refresh token stays in the
// keyring (or the private file the user chose), read through the sign-in
// library only when a send needs a new access token; nothing of it is
// opened at start-up, and nothing at all while the password is the login.
// libraryFolder is where the program's libraries lie (LibraryFolder()).
class SignInSession {
public:
    // Before a send, on the UI thread: when the saved choices make the
    // sign-in the login, gives the job the account (Setup's Username) and
    // the held access token, or what it takes to get one. False, with the
    // reason for the send-error dialog, when the sign-in cannot be had: the
    // keyring did not answer, or there is no sign-in to use.
    bool prepare(const StoredData &data, const QString &libraryFolder, DeliveryJob &job, QString *failure);

    // After that send: holds the access token that went through (one that
    // did not is dropped) and stores the refresh token the provider rotated to.
    void sent(const QString &libraryFolder, const SendMailOutcome &outcome);

    // Setup's sign-in button: the sign-in dialog for account, modal to
    // owner. The chosen provider's SMTP server, for Setup to take when it has
    // none; nothing when the dialog could not be opened, which a box says.
    std::optional<SuggestedSmtpServer> runDialog(QWidget *owner, const StoredData &data, const QString &libraryFolder,
                                                 const QString &account);

private:
    QString m_heldAccount;
    HeldAccessToken m_held;
    // The send under way logs in with the sign-in: whose, and as chosen.
    struct SignedInSend {
        SignInContext context;
        SignInChoices choices;
    };
    std::optional<SignedInSend> m_send;
    // The sign-in is over: nothing held is of use, and the choices say so.
    void markOver(const SignedInSend &send);
};
