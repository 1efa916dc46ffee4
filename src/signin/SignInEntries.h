#pragma once

#include "mail/AccessTokenForSend.h"
#include "mail/TokenEndpoint.h"
#include "signin/SignInEndpoints.h"
#include "store/SignInChoices.h"

#include <QByteArray>
#include <QString>

#include <chrono>

class QWidget;

// What the program asks of the sign-in library, which it opens when Setup's
// sign-in button is pressed and at a send that is signed in: plain values in
// and out, so that nothing of the library's is held between calls. All of it
// runs on the UI thread, as the keyring wants.

// Whose sign-in, and where it is kept.
struct SignInContext {
    QString account;    // Setup's Username
    QString dataFolder; // the folder of the data files
    std::chrono::milliseconds keyringWait{std::chrono::seconds(10)};
};

struct SignInDialogResult {
    SignInChoices choices;       // as saved when the dialog closed
    bool changed = false;        // signed in or out while it was open
    HeldAccessToken accessToken; // signed in while it was open: good to send with
    SuggestedSmtpServer server;  // the chosen provider's, for a Setup without a server
};

// The sign-in dialog, modal to owner, from the choices saved beside the data
// files and the administrator's file.
SignInDialogResult RunSignInDialog(const SignInContext &context, QWidget *owner);

struct SendSignIn {
    bool ok = false;
    QString failure;             // why a send cannot log in, for the send-error dialog
    bool over = false;           // because there is no sign-in left: only signing in again helps
    TokenRefreshRequest refresh; // where and with what to get an access token
};

// What a signed-in send needs to get an access token: the provider's token
// endpoint and client, and the refresh token from the keyring or the file.
SendSignIn SignInForSend(const SignInContext &context, const SignInChoices &choices);

// Keeps the refresh token the provider rotated to in place of the old one.
// Empty on success, else why not.
QString StoreRotatedRefreshToken(const SignInContext &context, const SignInChoices &choices,
                                 const QByteArray &refreshToken);

// The same three, as the program looks them up in the library.
extern "C" {
using RunSignInDialogEntry = void (*)(const SignInContext *context, QWidget *owner, SignInDialogResult *result);
using SignInForSendEntry = void (*)(const SignInContext *context, const SignInChoices *choices, SendSignIn *result);
using StoreRotatedRefreshTokenEntry = void (*)(const SignInContext *context, const SignInChoices *choices,
                                               const QByteArray *refreshToken, QString *failure);
}
inline constexpr char kRunSignInDialogEntryName[] = "QuorvaneRunSignInDialog";
inline constexpr char kSignInForSendEntryName[] = "QuorvaneSignInForSend";
inline constexpr char kStoreRotatedRefreshTokenEntryName[] = "QuorvaneStoreRotatedRefreshToken";
