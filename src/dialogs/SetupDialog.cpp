#include "dialogs/SetupDialog.h"

#include "store/StoredData.h"
#include "dialogs/CustomMessagesDialog.h"
#include "dialogs/PortNumber.h"
#include "store/AutoRun.h"
#include "store/DataFiles.h"
#include "store/InvertText.h"
#include "store/StoredPassword.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

using namespace SetupControl;

// The port is read as at most this many characters.
constexpr qsizetype kPortTextLength = 15;

const ControlSpec kControls[] = {
    {kServer, ControlKind::LineEdit, "", {14, 39, 164, 14}},
    {kSenderName, ControlKind::LineEdit, "", {14, 155, 208, 14}},
    {kSenderAddress, ControlKind::LineEdit, "", {14, 191, 208, 14}},
    {kBccToSender, ControlKind::CheckBox, "Also send me a &BCC for every message I send", {20, 215, 177, 10}},
    {kOkButton, ControlKind::DefaultButton, "&OK", {181, 262, 50, 14}},
    {kUseAuthentication, ControlKind::CheckBox, "SMTP server requires authenticating &credentials", {20, 59, 180, 13}},
    {kUserName, ControlKind::LineEdit, "", {61, 78, 161, 14}},
    {kPassword, ControlKind::PasswordEdit, "", {61, 98, 161, 14}},
    {kSendAsHtml, ControlKind::CheckBox, "Send message as &HTML email", {20, 245, 107, 10}},
    {kCustomMessages, ControlKind::PushButton, "&Setup Custom Messages...", {17, 262, 106, 14}},
    {kNoId, ControlKind::GroupBox, "Sender Information", {8, 128, 226, 106}},
    {kNoId, ControlKind::Label, "Name: e.g. My Name", {16, 143, 159, 8}, kSenderName},
    {kNoId, ControlKind::Label, "Email Address: e.g. me@example.com", {16, 177, 153, 10}, kSenderAddress},
    {kNoId, ControlKind::GroupBox, "SMTP Server Information", {7, 7, 226, 114}},
    {kNoId, ControlKind::Label, "Host name: e.g. smtp.example.com", {16, 23, 140, 12}, kServer},
    {kNoId, ControlKind::Label, "Username", {19, 81, 35, 11}, kUserName},
    {kNoId, ControlKind::Label, "Password", {19, 100, 35, 10}, kPassword},
    {kNoId, ControlKind::Label, "Port", {190, 23, 24, 9}, kPort},
    {kPort, ControlKind::LineEdit, "", {186, 39, 38, 14}},
    {kAutoRun, ControlKind::CheckBox, "&Auto run at startup", {141, 245, 81, 10}},
    // After everything else in the tab order: signing in with Microsoft 365,
    // Outlook.com or Google, whose servers take no password from a program.
    {kSignIn, ControlKind::PushButton, "Sign &in...", {127, 262, 50, 14}},
};

const ControlName kNames[] = {
    {kServer, "serverEdit"},         {kSenderName, "senderNameEdit"},
    {kSenderAddress, "senderAddressEdit"}, {kBccToSender, "bccToSenderBox"},
    {kOkButton, "okButton"},         {kUseAuthentication, "useAuthenticationBox"},
    {kUserName, "userNameEdit"},     {kPassword, "passwordEdit"},
    {kSendAsHtml, "sendAsHtmlBox"},  {kCustomMessages, "customMessagesButton"},
    {kPort, "portEdit"},             {kAutoRun, "autoRunBox"},
    {kSignIn, "signInButton"},
};

const DialogTemplate kTemplate{"Setup", 240, 286, kControls, kNames};

} // namespace

SetupDialog::SetupDialog(StoredData &data, QWidget *owner) : QDialog(owner), m_data(data)
{
    m_controls = BuildDialog(this, kTemplate);
    const SettingsRecord &settings = data.settings;

    edit(kServer)->setText(ReadTextField(settings.smtpServer));
    edit(kSenderName)->setText(ReadTextField(settings.senderName));
    edit(kSenderAddress)->setText(ReadTextField(settings.senderAddress));
    edit(kUserName)->setText(ReadTextField(settings.smtpUserName));
    RecoverPassword(settings.smtpPassword, m_passwordScratch);
    edit(kPassword)->setText(ReadTextField(m_passwordScratch));

    box(kAutoRun)->setChecked(IsAutoRunSet(data.appDataFolder));
    box(kBccToSender)->setChecked(settings.bccToSender == 1);
    box(kSendAsHtml)->setChecked(settings.sendAsHtml == 1);
    box(kUseAuthentication)->setChecked(settings.useAuthentication == 1);
    setAuthenticationEditsEnabled(settings.useAuthentication == 1);
    edit(kPort)->setText(QString::number(settings.smtpPort));
    edit(kServer)->setFocus();

    connect(box(kUseAuthentication), &QCheckBox::toggled, this, [this](bool ticked) {
        setAuthenticationEditsEnabled(ticked);
        if (ticked)
            edit(kUserName)->setFocus();
    });
    connect(m_controls.get<QPushButton>(kOkButton), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_controls.get<QPushButton>(kCustomMessages), &QPushButton::clicked, this,
            &SetupDialog::runCustomMessages);
    connect(m_controls.get<QPushButton>(kSignIn), &QPushButton::clicked, this, &SetupDialog::signInRequested);
}

QString SetupDialog::userName() const
{
    return edit(kUserName)->text();
}

void SetupDialog::offerServer(const QString &host, int port)
{
    if (host.isEmpty() || !edit(kServer)->text().trimmed().isEmpty())
        return;
    edit(kServer)->setText(host);
    edit(kPort)->setText(QString::number(port));
}

void SetupDialog::noteSendThrough(const QString &service)
{
    const QString note = service.isEmpty()
                             ? QString()
                             : QStringLiteral("Not needed: signed in, messages go through the %1").arg(service);
    for (const int id : {kServer, kPort}) {
        edit(id)->setPlaceholderText(note);
        edit(id)->setToolTip(note);
        edit(id)->setAccessibleDescription(note);
    }
}

SetupDialog::~SetupDialog()
{
    // Torn down while still open (Exit discards open dialogs unsaved): the
    // clear password must not outlive the dialog all the same.
    m_passwordScratch.fill(0);
}

void SetupDialog::done(int result)
{
    storeAndSave();
    QDialog::done(result);
}


void SetupDialog::setAuthenticationEditsEnabled(bool enabled)
{
    // Only disabled: the texts stay, and are saved either way.
    edit(kUserName)->setEnabled(enabled);
    edit(kPassword)->setEnabled(enabled);
}

void SetupDialog::runCustomMessages()
{
    CustomMessagesDialog dialog(m_data, this);
    connect(&dialog, &CustomMessagesDialog::customMessagesChanged, this, &SetupDialog::customMessagesChanged);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
}

void SetupDialog::storeAndSave()
{
    SettingsRecord &settings = m_data.settings;

    settings.sendAsHtml = box(kSendAsHtml)->isChecked() ? 1 : 0;
    m_data.activeSendAsHtml = settings.sendAsHtml;

    // The entry is only written or removed when the box disagrees with it, so
    // an entry someone wrote by hand stays as it is.
    const bool autoRunWanted = box(kAutoRun)->isChecked();
    const bool autoRunSet = IsAutoRunSet(m_data.appDataFolder);
    if (autoRunWanted && !autoRunSet)
        SetAutoRun(m_data.appDataFolder, m_data.autoRunCommand);
    else if (!autoRunWanted && autoRunSet)
        ClearAutoRun(m_data.appDataFolder);

    settings.bccToSender = box(kBccToSender)->isChecked() ? 1 : 0;
    settings.useAuthentication = box(kUseAuthentication)->isChecked() ? 1 : 0;

    WriteTextField(settings.smtpServer, edit(kServer)->text());
    WriteTextField(settings.senderName, edit(kSenderName)->text());
    WriteTextField(settings.senderAddress, edit(kSenderAddress)->text());
    WriteTextField(settings.smtpUserName, edit(kUserName)->text());
    WriteTextField(m_passwordScratch, edit(kPassword)->text());
    settings.smtpPort = PortFromText(QStringView(edit(kPort)->text()).left(kPortTextLength));
    InvertText(m_passwordScratch, settings.smtpPassword);

    SaveDataFiles(m_data);
    m_passwordScratch.fill(0);
}

QLineEdit *SetupDialog::edit(int id) const
{
    return m_controls.get<QLineEdit>(id);
}

QCheckBox *SetupDialog::box(int id) const
{
    return m_controls.get<QCheckBox>(id);
}
