#include "signin/SignInDialog.h"

#include "signin/RefreshTokenStore.h"
#include "signin/SignInEndpoints.h"
#include "signin/SignInFlow.h"
#include "signin/SignOut.h"
#include "widgets/WrapCheckBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

using Id = SignInDialog::ControlId;

// The provider box's rows, in the order of the names the files use.
const char *const kProviderKeys[] = {"microsoft", "google", "custom"};

const ControlSpec kControls[] = {
    {kNoId, ControlKind::Label, "Sign &in with:", {10, 10, 70, 9}, Id::kProvider},
    {Id::kProvider, ControlKind::Custom, "", {82, 8, 150, 60}, kNoId, {}, [](QWidget *parent) -> QWidget * {
         auto *box = new QComboBox(parent);
         box->addItems({QStringLiteral("Microsoft \u2014 work, school or Outlook.com"), QStringLiteral("Google"),
                        QStringLiteral("Other")});
         box->setFixedHeight(box->sizeHint().height());
         return box;
     }},
    {kNoId, ControlKind::Label, "Send t&hrough:", {10, 28, 70, 9}, Id::kSendThrough},
    {Id::kSendThrough, ControlKind::Custom, "", {82, 26, 150, 60}, kNoId, {}, [](QWidget *parent) -> QWidget * {
         auto *box = new QComboBox(parent);
         box->setFixedHeight(box->sizeHint().height());
         return box;
     }},
    {kNoId, ControlKind::Label, "&Client id:", {10, 48, 70, 9}, Id::kClientId},
    {Id::kClientId, ControlKind::LineEdit, "", {82, 46, 150, 14}},
    {kNoId, ControlKind::Label, "&Tenant:", {10, 66, 70, 9}, Id::kTenant},
    {Id::kTenant, ControlKind::LineEdit, "", {82, 64, 150, 14}},
    {kNoId, ControlKind::Label, "&Authorization URL:", {10, 84, 70, 9}, Id::kAuthorizeUrl},
    {Id::kAuthorizeUrl, ControlKind::LineEdit, "", {82, 82, 150, 14}},
    {kNoId, ControlKind::Label, "T&oken URL:", {10, 102, 70, 9}, Id::kTokenUrl},
    {Id::kTokenUrl, ControlKind::LineEdit, "", {82, 100, 150, 14}},
    {kNoId, ControlKind::Label, "Sco&pe:", {10, 120, 70, 9}, Id::kScope},
    {Id::kScope, ControlKind::LineEdit, "", {82, 118, 150, 14}},
    {Id::kTokenInFile, ControlKind::Custom, "", {10, 137, 222, 24}, kNoId, {}, [](QWidget *parent) -> QWidget * {
         // Said in full, on as many lines as it takes: what the box gives away.
         return new WrapCheckBox(QStringLiteral("&Keep the sign-in in a file only I can read, not in the desktop "
                                                "keyring. Anyone who can read my files can then send mail as me."),
                                 parent);
     }},
    {Id::kStatus, ControlKind::Label, "", {10, 166, 222, 18}},
    {Id::kSignIn, ControlKind::PushButton, "&Sign in", {10, 188, 50, 14}},
    {Id::kSignOut, ControlKind::PushButton, "Sign o&ut", {64, 188, 50, 14}},
    {Id::kCancel, ControlKind::PushButton, "Cancel", {118, 188, 50, 14}},
    {Id::kClose, ControlKind::DefaultButton, "C&lose", {182, 188, 50, 14}},
};

const ControlName kNames[] = {
    {Id::kClose, "closeButton"},
    {Id::kProvider, "providerList"},
    {Id::kSendThrough, "sendThroughList"},
    {Id::kClientId, "clientIdEdit"},
    {Id::kTenant, "tenantEdit"},
    {Id::kAuthorizeUrl, "authorizeUrlEdit"},
    {Id::kTokenUrl, "tokenUrlEdit"},
    {Id::kScope, "scopeEdit"},
    {Id::kTokenInFile, "tokenInFileCheck"},
    {Id::kStatus, "statusLabel"},
    {Id::kSignIn, "signInButton"},
    {Id::kSignOut, "signOutButton"},
    {Id::kCancel, "cancelButton"},
};

const DialogTemplate kTemplate{"Sign In", 242, 210, kControls, kNames};

// The ways a provider's sign-in can send, in the order the list shows them:
// its own mail service first, where it has one.
struct SendWay {
    const char *key;
    const char *text;
};
const SendWay kGraphWay{"graph", "Microsoft 365 mail service"};
const SendWay kGmailWay{"gmail", "Gmail service"};
const SendWay kSmtpWay{"smtp", "SMTP server"};

int ProviderRow(const QString &key)
{
    for (int row = 0; row < 3; ++row) {
        if (key.compare(QLatin1String(kProviderKeys[row]), Qt::CaseInsensitive) == 0)
            return row;
    }
    return 0;
}

QString SignedInText(const QString &account)
{
    return QStringLiteral("Signed in as %1.").arg(account.trimmed());
}

} // namespace

SignInDialog::SignInDialog(const SignInDialogInputs &inputs, QWidget *owner)
    : QDialog(owner), m_inputs(inputs),
      m_flow(new SignInFlow([](const QUrl &url) { return QDesktopServices::openUrl(url); }, this))
{
    m_controls = BuildDialog(this, kTemplate);
    // What was chosen here before, else what the administrator deployed.
    const SignInSettings shown = MergeSignInSettings(ChosenSignInSettings(inputs.choices), deployedNow());
    auto *provider = m_controls.get<QComboBox>(kProvider);
    provider->setCurrentIndex(ProviderRow(shown.provider));
    edit(kTenant)->setPlaceholderText(QStringLiteral("organizations"));
    showProvider(provider->currentIndex());
    m_controls.get<QCheckBox>(kTokenInFile)->setChecked(inputs.choices.tokenInFile);
    // It shows providers' error texts: never read as markup.
    m_controls.get<QLabel>(kStatus)->setTextFormat(Qt::PlainText);
    m_controls.get<QLabel>(kStatus)->setWordWrap(true);
    providerChosen();
    setRunning(false);
    // Said from the choices: the keyring is opened at sign-in and at send only.
    if (!inputs.choices.active)
        setStatus(QStringLiteral("Not signed in."));
    else if (inputs.choices.expired)
        setStatus(QStringLiteral("The sign-in of %1 is no longer valid: sign in again.").arg(inputs.account.trimmed()));
    else
        setStatus(SignedInText(inputs.account));
    if (const QString problem = StoredTokenProblem(inputs.choices, inputs.dataFolder); !problem.isEmpty())
        setStatus(problem + u'.');
    // Before anything else: nothing signs in until the administrator mends it.
    if (const QString problem = deployedNow().problem; !problem.isEmpty())
        setStatus(problem + u'.');

    connect(provider, &QComboBox::currentIndexChanged, this, &SignInDialog::providerChosen);
    connect(m_controls.get<QComboBox>(kSendThrough), &QComboBox::currentIndexChanged, this, &SignInDialog::showScope);
    connect(m_controls.get<QPushButton>(kSignIn), &QPushButton::clicked, this, &SignInDialog::signIn);
    connect(m_controls.get<QPushButton>(kSignOut), &QPushButton::clicked, this, &SignInDialog::signOut);
    connect(m_controls.get<QPushButton>(kCancel), &QPushButton::clicked, this, &SignInDialog::cancelSignIn);
    connect(m_controls.get<QPushButton>(kClose), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_flow, &SignInFlow::finished, this, &SignInDialog::finished);
}

SignInDialog::~SignInDialog() = default;

QLineEdit *SignInDialog::edit(int id) const
{
    return m_controls.get<QLineEdit>(id);
}

QString SignInDialog::status() const
{
    return m_controls.get<QLabel>(kStatus)->text();
}

void SignInDialog::setStatus(const QString &text)
{
    m_controls.get<QLabel>(kStatus)->setText(text);
}

SignInSettings SignInDialog::deployedNow() const
{
    return m_inputs.readDeployed ? m_inputs.readDeployed() : m_inputs.deployed;
}

void SignInDialog::fillSendThrough(int row, const QString &current)
{
    auto *box = m_controls.get<QComboBox>(kSendThrough);
    const QSignalBlocker quiet(box);
    box->clear();
    QList<SendWay> ways;
    if (row == 0)
        ways = {kGraphWay, kSmtpWay};
    else if (row == 1)
        ways = {kGmailWay, kSmtpWay};
    else
        ways = {kSmtpWay};
    // Another provider sends through a mail service only where the
    // administrator's file names one.
    const QString deployed = deployedNow().sendThrough.trimmed().toLower();
    if (row == 2 && (deployed == u"graph" || deployed == u"gmail"))
        ways.prepend(deployed == u"graph" ? kGraphWay : kGmailWay);
    for (const SendWay &way : ways)
        box->addItem(QLatin1String(way.text), QLatin1String(way.key));
    const int at = box->findData(current.trimmed().toLower());
    box->setCurrentIndex(at >= 0 ? at : 0);
}

// The greyed scope of Microsoft and Google follows the way of sending.
void SignInDialog::showScope()
{
    const int row = m_controls.get<QComboBox>(kProvider)->currentIndex();
    if (row == 2)
        return;
    SignInSettings probe = MergeSignInSettings(typedSettings(row), deployedNow());
    probe.clientId = QStringLiteral("-");
    const SignInEndpoints endpoints = ResolveSignInEndpoints(probe);
    edit(kScope)->setText(endpoints.ok ? endpoints.scope : QString());
}

void SignInDialog::providerChosen()
{
    const int row = m_controls.get<QComboBox>(kProvider)->currentIndex();
    if (row != m_shownRow)
        showProvider(row);
    edit(kTenant)->setEnabled(row == 0);
    for (const int id : {kAuthorizeUrl, kTokenUrl, kScope})
        edit(id)->setEnabled(row == 2);
}

// Fills the fields with the provider's own values: what was typed for it in
// this dialog, else what was chosen for it before, else the administrator's
// file for it. The fields that do not apply show the provider's addresses
// and scope, greyed.
void SignInDialog::showProvider(int row)
{
    if (m_shownRow >= 0) {
        // Kept only when changed by hand, so the file's new values show.
        const SignInSettings typed = typedSettings(m_shownRow);
        if (typed != m_filled[m_shownRow])
            m_typed[m_shownRow] = typed;
    }
    m_shownRow = row;
    const QString key = QLatin1String(kProviderKeys[row]);
    SignInSettings values;
    if (m_typed[row]) {
        values = *m_typed[row];
    } else {
        SignInSettings chosen;
        chosen.provider = key;
        if (m_inputs.choices.provider.compare(key, Qt::CaseInsensitive) == 0)
            chosen = ChosenSignInSettings(m_inputs.choices);
        values = MergeSignInSettings(chosen, deployedNow());
    }
    values.provider = key;
    fillSendThrough(row, values.sendThrough);
    values.sendThrough = m_controls.get<QComboBox>(kSendThrough)->currentData().toString();
    if (row != 2) {
        // A stand-in client id, to learn the addresses before one is typed.
        SignInSettings probe = values;
        probe.clientId = QStringLiteral("-");
        const SignInEndpoints endpoints = ResolveSignInEndpoints(probe);
        values.authorizeUrl = endpoints.ok ? endpoints.authorizeUrl.toString() : QString();
        values.tokenUrl = endpoints.ok ? endpoints.tokenUrl.toString() : QString();
        values.scope = endpoints.ok ? endpoints.scope : QString();
    }
    edit(kClientId)->setText(values.clientId);
    edit(kTenant)->setText(row == 0 ? values.tenant : QString());
    edit(kAuthorizeUrl)->setText(values.authorizeUrl);
    edit(kTokenUrl)->setText(values.tokenUrl);
    edit(kScope)->setText(values.scope);
    m_filled[row] = typedSettings(row);
}

void SignInDialog::setRunning(bool running)
{
    for (const int id : {kProvider, kSendThrough, kClientId, kTenant, kAuthorizeUrl, kTokenUrl, kScope, kTokenInFile,
                         kSignIn, kSignOut})
        m_controls.widget(id)->setEnabled(!running);
    m_controls.widget(kCancel)->setEnabled(running);
    if (!running)
        providerChosen();
}

SignInSettings SignInDialog::typedSettings() const
{
    return typedSettings(m_controls.get<QComboBox>(kProvider)->currentIndex());
}

SignInSettings SignInDialog::typedSettings(int row) const
{
    SignInSettings out;
    out.provider = QLatin1String(kProviderKeys[row]);
    out.sendThrough = m_controls.get<QComboBox>(kSendThrough)->currentData().toString();
    out.clientId = edit(kClientId)->text();
    if (row == 0)
        out.tenant = edit(kTenant)->text();
    if (row == 2) {
        out.authorizeUrl = edit(kAuthorizeUrl)->text();
        out.tokenUrl = edit(kTokenUrl)->text();
        out.scope = edit(kScope)->text();
    }
    return out;
}

SignInChoices SignInDialog::chosen(bool active) const
{
    const SignInSettings settings = typedSettings();
    SignInChoices out{settings.provider,
                      settings.clientId.trimmed(),
                      settings.tenant.trimmed(),
                      active,
                      m_controls.get<QCheckBox>(kTokenInFile)->isChecked(),
                      settings.authorizeUrl.trimmed(),
                      settings.tokenUrl.trimmed(),
                      settings.scope.trimmed()};
    // How its sends go, settled now: a later change of the file's defaults
    // does not turn a sign-in made for one service to another.
    const SignInEndpoints endpoints = ResolveSignInEndpoints(MergeSignInSettings(settings, deployedNow()));
    out.sendThrough = endpoints.ok ? QString::fromLatin1(SendThroughName(endpoints.sendThrough)) : settings.sendThrough;
    out.apiUrl = endpoints.ok ? endpoints.apiUrl : QString();
    return out;
}

void SignInDialog::signIn()
{
    if (m_inputs.account.trimmed().isEmpty()) {
        setStatus(QStringLiteral("Type your address as the Username in Setup first."));
        return;
    }
    const SignInEndpoints endpoints = ResolveSignInEndpoints(MergeSignInSettings(typedSettings(), deployedNow()));
    if (!endpoints.ok) {
        setStatus(endpoints.failure + u'.');
        return;
    }
    setRunning(true);
    setStatus(QStringLiteral("Finish signing in in your web browser."));
    m_flow->start(endpoints, m_inputs.account);
}

void SignInDialog::cancelSignIn()
{
    m_flow->cancel();
}

void SignInDialog::done(int result)
{
    m_flow->cancel();
    QDialog::done(result);
}

void SignInDialog::finished(const SignInOutcome &outcome)
{
    if (!outcome.signedIn) {
        setRunning(false);
        setStatus(outcome.message + u'.');
        return;
    }
    const SignInChoices choices = chosen(true);
    // The keyring's wait runs a local loop: the buttons stay off until it ends.
    m_controls.widget(kCancel)->setEnabled(false);
    const QString failure = SaveRefreshToken(choices, m_inputs.account, m_inputs.dataFolder, outcome.tokens.refreshToken,
                                             m_inputs.keyringWait);
    setRunning(false);
    if (!failure.isEmpty()) {
        setStatus(failure + u'.');
        return;
    }
    if (!WriteSignInChoices(SignInChoicesPath(m_inputs.dataFolder), choices)) {
        setStatus(QStringLiteral("Signed in, but the choice could not be saved in %1.").arg(m_inputs.dataFolder));
        return;
    }
    m_inputs.choices = choices;
    setStatus(SignedInText(m_inputs.account));
    emit signedIn(outcome.tokens.accessToken, outcome.tokens.expiresAt);
}

void SignInDialog::signOut()
{
    setRunning(true);
    m_controls.widget(kCancel)->setEnabled(false);
    const SignOutResult out =
        SignOutEverywhere(m_inputs.choices, m_inputs.account, m_inputs.dataFolder, deployedNow(), m_inputs.keyringWait);
    setRunning(false);
    if (!out.removed) {
        setStatus(out.message + u'.');
        return;
    }
    const SignInChoices choices = chosen(false);
    if (!WriteSignInChoices(SignInChoicesPath(m_inputs.dataFolder), choices)) {
        setStatus(QStringLiteral("Signed out, but the choice could not be saved in %1.").arg(m_inputs.dataFolder));
        return;
    }
    m_inputs.choices = choices;
    setStatus(out.message.isEmpty() ? QStringLiteral("Not signed in.") : out.message + u'.');
}
