#pragma once

#include <QString>

#include <optional>

// Who signs the user in, as typed in the sign-in dialog or deployed by an
// administrator. An empty field means "not given here", so the two sources
// can be laid over each other.
struct SignInSettings {
    QString provider;     // "microsoft", "google" or "custom"
    QString clientId;
    QString clientSecret; // some providers give desktop clients one; it is not secret
    QString tenant;       // Microsoft only: "organizations", "consumers", "common" or a tenant id
    QString authorizeUrl; // "custom" only, or to override a provider's
    QString tokenUrl;
    QString scope;
    // What the provider's page is asked to show (OpenID Connect "prompt").
    // Unset: the provider's own rule, so that a refresh token is given;
    // set but empty: nothing is asked. Only the administrator's file sets it.
    std::optional<QString> prompt{};
    // Where signing out revokes the refresh token (RFC 7009); "custom" only,
    // or to override a provider's. Empty: the provider's, if it has one.
    QString revocationUrl{};
    // How a signed-in send goes out: "smtp", "graph" or "gmail"; empty: the
    // provider's own service (Microsoft's, Google's), SMTP for another.
    QString sendThrough{};
    // The mail service's base address; empty: the service's own.
    QString apiUrl{};
    // The administrator's file cannot be used, and why, for the sign-in
    // dialog's line; none of its values are then given.
    QString problem{};
};

inline bool operator==(const SignInSettings &a, const SignInSettings &b)
{
    return a.provider == b.provider && a.clientId == b.clientId && a.clientSecret == b.clientSecret &&
           a.tenant == b.tenant && a.authorizeUrl == b.authorizeUrl && a.tokenUrl == b.tokenUrl && a.scope == b.scope && a.prompt == b.prompt && a.revocationUrl == b.revocationUrl &&
           a.sendThrough == b.sendThrough && a.apiUrl == b.apiUrl &&
           a.problem == b.problem;
}
