#include "signin/SignInFlow.h"

#include "signin/AuthorizationUrl.h"
#include "signin/IdTokenIdentity.h"
#include "signin/Pkce.h"
#include "signin/RedirectListener.h"
#include "mail/TokenEndpoint.h"

namespace {

SignInOutcome Failed(const QString &why)
{
    SignInOutcome out;
    out.message = why;
    return out;
}

QString NoRefreshTokenMessage()
{
    return QStringLiteral("The provider gave no refresh token, so every send would need the browser again. Sign in "
                          "once more and agree to stay signed in; if this is said again, ask your administrator to "
                          "allow this application offline access");
}

} // namespace

SignInFlow::SignInFlow(BrowserOpener openBrowser, QObject *parent) : QObject(parent), m_openBrowser(std::move(openBrowser))
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(m_timeLimit).count();
        finish(Failed(minutes >= 1 ? QStringLiteral("The sign-in was not finished within %1 minutes").arg(minutes)
                                   : QStringLiteral("The sign-in was not finished in time")));
    });
}

SignInFlow::~SignInFlow()
{
    // The listener's port and any held browser request go with the flow.
    if (m_listener)
        m_listener->close();
}

void SignInFlow::start(const SignInEndpoints &endpoints, const QString &loginHint)
{
    if (m_running)
        return;
    m_running = true;
    m_endpoints = endpoints;
    m_account = loginHint.trimmed();
    if (!endpoints.ok) {
        finish(Failed(endpoints.failure));
        return;
    }
    m_listener = new RedirectListener(this);
    if (!m_listener->listen(endpoints.redirectHost)) {
        finish(Failed(QStringLiteral("No port on this computer could take the browser's answer")));
        return;
    }
    connect(m_listener, &RedirectListener::received, this, &SignInFlow::answered);
    const PkcePair pkce = MakePkcePair();
    m_verifier = pkce.verifier;
    m_state = RandomUrlSafeToken();
    m_listener->expectState(m_state);
    m_authorizationUrl = BuildAuthorizationUrl(endpoints, m_listener->redirectUri(), m_state, pkce.challenge, loginHint);
    m_limit.start(m_timeLimit);
    if (!m_openBrowser || !m_openBrowser(m_authorizationUrl))
        finish(Failed(QStringLiteral("No web browser could be opened for the sign-in")));
}

void SignInFlow::cancel()
{
    if (!m_running)
        return;
    SignInOutcome outcome = Failed(QStringLiteral("The sign-in was cancelled"));
    outcome.cancelled = true;
    finish(outcome);
}

void SignInFlow::answered(const RedirectParameters &parameters)
{
    if (!m_running)
        return;
    // Only the browser this flow sent out knows the state; anything else
    // reaching the port must not get its code traded in our name.
    if (parameters.state.toLatin1() != m_state) {
        finish(Failed(QStringLiteral("The answer from the browser did not belong to this sign-in")));
        return;
    }
    if (!parameters.error.isEmpty()) {
        if (parameters.error == QStringLiteral("access_denied")) {
            finish(Failed(QStringLiteral("The sign-in was declined in the browser")));
            return;
        }
        QString message = QStringLiteral("The provider refused the sign-in: %1").arg(parameters.error.left(100));
        const QString description = parameters.errorDescription.simplified();
        if (!description.isEmpty())
            message += QStringLiteral(" (%1)").arg(description.left(300));
        finish(Failed(message));
        return;
    }
    if (parameters.code.isEmpty()) {
        finish(Failed(QStringLiteral("The provider sent no authorization code")));
        return;
    }
    m_call = new TokenEndpointCall(this);
    connect(m_call, &TokenEndpointCall::finished, this, &SignInFlow::exchanged);
    m_call->start(m_endpoints.tokenUrl,
                  CodeExchangeForm(m_endpoints.clientId, m_endpoints.clientSecret, parameters.code, m_verifier,
                                   m_listener->redirectUri()),
                  m_tokenTimeout);
}

void SignInFlow::exchanged(const TokenResult &result)
{
    if (!m_running)
        return;
    if (!result.ok) {
        finish(Failed(result.message));
        return;
    }
    // Without a refresh token every send would need the browser again.
    if (result.refreshToken.isEmpty()) {
        finish(Failed(NoRefreshTokenMessage()));
        return;
    }
    // Anyone who read the state and the challenge (they are in the browser's
    // command line) could sign in as themselves and send their code here:
    // where the provider says who signed in, only the account claimed is taken.
    if (m_endpoints.scope.split(u' ', Qt::SkipEmptyParts).contains(QStringLiteral("openid"))) {
        const QString who = AccountInIdToken(result.idToken, m_endpoints.clientId);
        if (who.isEmpty()) {
            finish(Failed(QStringLiteral("The provider did not say which account signed in, so the sign-in was not kept")));
            return;
        }
        if (!m_account.isEmpty() && who.compare(m_account, Qt::CaseInsensitive) != 0) {
            finish(Failed(QStringLiteral("The provider signed in %1, not %2 (the Username in Setup): nothing was kept. "
                                         "Sign in as %2")
                              .arg(who.left(200), m_account)));
            return;
        }
    }
    SignInOutcome outcome;
    outcome.signedIn = true;
    outcome.tokens = result;
    finish(outcome);
}

void SignInFlow::finish(SignInOutcome outcome)
{
    if (!m_running)
        return;
    m_running = false;
    m_limit.stop();
    m_verifier.fill('\0');
    m_verifier.clear();
    if (m_call) {
        // An answer still on its way is no longer wanted.
        m_call->disconnect(this);
        m_call->deleteLater();
        m_call = nullptr;
    }
    if (m_listener) {
        m_listener->respond(outcome.signedIn, outcome.message);
        m_listener->deleteLater();
        m_listener = nullptr;
    }
    emit finished(outcome);
}
