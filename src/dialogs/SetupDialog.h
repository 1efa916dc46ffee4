#pragma once

#include "widgets/DialogTemplate.h"

#include <QDialog>

#include <array>

struct StoredData;

// Control ids of Setup.
namespace SetupControl {
inline constexpr int kServer = 3000;
inline constexpr int kSenderName = 3001;
inline constexpr int kSenderAddress = 3002;
inline constexpr int kUseAuthentication = 3003;
inline constexpr int kUserName = 3004;
inline constexpr int kPassword = 3005;
inline constexpr int kPort = 3006;
inline constexpr int kSendAsHtml = 3007;
inline constexpr int kBccToSender = 3010;
inline constexpr int kAutoRun = 3011;
inline constexpr int kCustomMessages = 1060;
inline constexpr int kSignIn = 3012;
} // namespace SetupControl
class QCheckBox;
class QLineEdit;

// The SMTP server, its credentials, the sender and the mail options, and the
// way to sign in with a mail provider instead of a password. It edits
// data.settings and the autostart entry, and saves whenever it closes: OK,
// Enter, Escape and the close box alike. While it is open the clear password
// is in a buffer of its own; it is all zero again once the dialog closes.
class SetupDialog : public QDialog {
    Q_OBJECT
public:
    SetupDialog(StoredData &data, QWidget *owner);
    ~SetupDialog() override;

    void done(int result) override;

    // The clear password's buffer, for checking that it is wiped.
    const std::array<char, 128> &passwordScratch() const { return m_passwordScratch; }

    // The Username as typed so far: the account a sign-in is for.
    QString userName() const;
    // A mail provider's server, taken only when no host is typed yet.
    void offerServer(const QString &host, int port);
    // Signed in to send through a mail service (its name, e.g. "Microsoft
    // 365 mail service"), the host and port are not used, and the fields say
    // so; empty: they are.
    void noteSendThrough(const QString &service);

signals:
    // The custom phrases were saved from the dialog this one opened.
    void customMessagesChanged();
    // "Sign in..." was pressed: whoever opened Setup runs the sign-in.
    void signInRequested();

private:
    void setAuthenticationEditsEnabled(bool enabled);
    void runCustomMessages();
    void storeAndSave();

    QLineEdit *edit(int id) const;
    QCheckBox *box(int id) const;

    StoredData &m_data;
    DialogControls m_controls;
    std::array<char, 128> m_passwordScratch{};
};
