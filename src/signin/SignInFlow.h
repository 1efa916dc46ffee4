#pragma once

#include "signin/SignInEndpoints.h"
#include "mail/TokenReply.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class RedirectListener;
class TokenEndpointCall;
struct RedirectParameters;

struct SignInOutcome {
    bool signedIn = false;
    bool cancelled = false; // by the user, through cancel()
    QString message;        // why not, when !signedIn
    TokenResult tokens;     // the access token, its expiry and the refresh token
};

// The authorization code flow for a native program (RFC 8252): the system
// browser shows the provider's own page; the answer comes back to a loopback
// listener; the code is traded, with the PKCE verifier, for tokens. Ends
// exactly once with finished(): signed in, refused, cancelled, or out of time.
class SignInFlow : public QObject {
    Q_OBJECT
public:
    // Opens an address in the user's browser (QDesktopServices::openUrl in the
    // program), false when none could be started.
    using BrowserOpener = std::function<bool(const QUrl &)>;

    explicit SignInFlow(BrowserOpener openBrowser, QObject *parent = nullptr);
    ~SignInFlow() override;

    // How long the user has to finish in the browser.
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    void setTokenTimeout(std::chrono::milliseconds timeout) { m_tokenTimeout = timeout; }

    // loginHint: the account, so the provider can preselect it; may be empty.
    void start(const SignInEndpoints &endpoints, const QString &loginHint);
    void cancel();
    bool running() const { return m_running; }
    // The page the browser was sent to, for a user who wants to open it by hand.
    QUrl authorizationUrl() const { return m_authorizationUrl; }

signals:
    void finished(const SignInOutcome &outcome);

private:
    void answered(const RedirectParameters &parameters);
    void exchanged(const TokenResult &result);
    void finish(SignInOutcome outcome);

    BrowserOpener m_openBrowser;
    std::chrono::milliseconds m_timeLimit{std::chrono::minutes(5)};
    std::chrono::milliseconds m_tokenTimeout{std::chrono::seconds(30)};
    SignInEndpoints m_endpoints;
    QString m_account; // whom the sign-in is for
    RedirectListener *m_listener = nullptr;
    TokenEndpointCall *m_call = nullptr;
    QTimer m_limit;
    QByteArray m_state;
    QByteArray m_verifier;
    QUrl m_authorizationUrl;
    bool m_running = false;
};
