#pragma once

#include "widgets/DialogTemplate.h"
#include "store/SignInChoices.h"
#include "signin/SignInSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QDialog>

#include <optional>

#include <array>
#include <chrono>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class SignInFlow;
struct SignInOutcome;

// What the sign-in dialog starts from, as values.
struct SignInDialogInputs {
    QString account;         // Setup's Username: whom the sign-in is for
    QString dataFolder;      // the folder of the data files
    SignInSettings deployed; // the administrator's file, if any
    // Reads the administrator's file again, as it may have changed since;
    // unset: `deployed` as given.
    std::function<SignInSettings()> readDeployed;
    SignInChoices choices;   // as last saved
    std::chrono::milliseconds keyringWait{std::chrono::seconds(10)};
};

// Signing in with a mail provider: who signs in (Microsoft, Google or
// another), how its sends go out (the provider's own mail service or its
// SMTP server), the application's client id, the Microsoft tenant or another
// provider's addresses, and where the sign-in is kept. Sign in opens the
// system browser; the status line says who is signed in or what went wrong.
// Values typed here win over the administrator's file.
class SignInDialog : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kClose = 1,
        kProvider = 4000,
        kClientId = 4001,
        kTenant = 4002,
        kAuthorizeUrl = 4003,
        kTokenUrl = 4004,
        kScope = 4005,
        kTokenInFile = 4006,
        kStatus = 4007,
        kSignIn = 4008,
        kSignOut = 4009,
        kCancel = 4010,
        kSendThrough = 4011,
    };

    SignInDialog(const SignInDialogInputs &inputs, QWidget *owner);
    ~SignInDialog() override;

    SignInChoices choices() const { return m_inputs.choices; }
    // The provider and its details as the dialog shows them now.
    SignInSettings typedSettings() const;
    QString status() const;

    void signIn();
    void signOut();
    void cancelSignIn();

    // Closing ends a sign-in still waiting for the browser.
    void done(int result) override;

signals:
    // Signed in and the refresh token stored: the access token, to use until
    // it expires, without asking the keyring again.
    void signedIn(const QByteArray &accessToken, const QDateTime &expiresAt);

private:
    void providerChosen();
    void showProvider(int row);
    // The ways of sending the provider row offers, current chosen if it is one.
    void fillSendThrough(int row, const QString &current);
    void showScope();
    SignInSettings typedSettings(int row) const; // the fields, read as that row's
    SignInSettings deployedNow() const;
    void finished(const SignInOutcome &outcome);
    SignInChoices chosen(bool active) const;
    void setStatus(const QString &text);
    void setRunning(bool running);

    QLineEdit *edit(int id) const;

    SignInDialogInputs m_inputs;
    DialogControls m_controls;
    // Per provider row: what its fields were filled with, and what was typed
    // in them before another provider was chosen.
    int m_shownRow = -1;
    std::array<SignInSettings, 3> m_filled;
    std::array<std::optional<SignInSettings>, 3> m_typed;
    SignInFlow *m_flow;
};
