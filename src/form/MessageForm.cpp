#include "form/MessageForm.h"

#include "app/AppState.h"
#include "dialogs/PathLabel.h"
#include "form/MessageFormTemplate.h"
#include "form/PhraseBoxes.h"
#include "form/PlainTextLimit.h"
#include "form/RenderMessage.h"
#include "store/DataFiles.h"
#include "store/TextField.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>

#include <array>

namespace {

using namespace FormControl;

// In rendering order; every one is unticked after a send.
constexpr std::array kPhraseBoxes = {
    PhraseBox::NotUrgent,        PhraseBox::Urgent,          PhraseBox::VisitedToSeeYou,
    PhraseBox::WillVisitAnotherTime, PhraseBox::LeftItems,   PhraseBox::PleaseContactViaEmail,
    PhraseBox::Telephoned,       PhraseBox::PleaseCallBack,  PhraseBox::ReturnedYourCall,
    PhraseBox::WillCallBackLater, PhraseBox::Custom1,        PhraseBox::WillSendYouAnEmail,
    PhraseBox::Custom2,
};

constexpr std::array kCallerEdits = {CallerName, CallerCompany, CallerPhone, CallerEmail};

// A stored name or phrase shown on a check box exactly as typed: an "&" in
// "Sales & Support" is a character, not a mnemonic that would steal a key
// from the form's own buttons.
QString AsCaption(const QString &text)
{
    QString caption = text;
    return caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void ApplyCustomMessageBox(QCheckBox *box, std::int32_t enabled, const QString &caption)
{
    if (enabled == 1) {
        box->setVisible(true);
        box->setEnabled(true);
        box->setText(AsCaption(caption));
    } else {
        box->setVisible(false);
        box->setEnabled(false);
        box->setChecked(false);
    }
}

// The edit gives "\n" for each line break; the message carries "\r\n".
QString MessageTextFromEdit(const QString &edited)
{
    QString text = edited;
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

QString MessageTextForEdit(const QString &message)
{
    QString text = message;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

MessageForm::MessageForm(AppState &state, QWidget *owner)
    : QDialog(owner), m_state(state)
{
    qRegisterMetaType<FormSnapshot>();
    m_controls = BuildDialog(this, MessageFormTemplate());
    ApplyMessageFormTabOrder(m_controls);
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorvane-32.png")));
    // Blocks its owner only, so the tray icon still answers while it is open.
    setWindowModality(Qt::WindowModal);

    LimitPlainText(control<QPlainTextEdit>(MessageText), kMessageEditLimit);
    showAttachment(false, {}, {});
    labelRecipients();
    control<QPushButton>(Send)->setEnabled(false);

    control<QCheckBox>(KeepOnTop)->setChecked(m_state.settings.keepOnTop == 1);
    applyKeepOnTop(m_state.settings.keepOnTop == 1);
    control<QCheckBox>(AutoClose)->setChecked(m_state.settings.autoCloseAfterSend == 1);
    // A copy to the caller is never preset: it is chosen for each caller.
    control<QCheckBox>(CcCaller)->setChecked(false);
    m_state.settings.ccCaller = 0;
    customMessagesChanged();
    control<QLineEdit>(CallerName)->setFocus();
    clockTick();

    // The boxes act on their state, not on clicks: a screen reader's or a
    // voice control's "Toggle" changes the state without any click, and must
    // count as much as the mouse or the space bar.
    for (int i = 0; i < kRecipientCount; ++i)
        connect(recipientBox(i), &QCheckBox::toggled, this, &MessageForm::updateSendButton);
    connect(control<QCheckBox>(SelectAll), &QCheckBox::toggled, this, &MessageForm::selectAllToggled);
    connect(control<QCheckBox>(PhraseBox::Urgent), &QCheckBox::toggled, this, [this](bool checked) {
        if (checked)
            control<QCheckBox>(PhraseBox::NotUrgent)->setChecked(false);
    });
    connect(control<QCheckBox>(PhraseBox::NotUrgent), &QCheckBox::toggled, this, [this](bool checked) {
        if (checked)
            control<QCheckBox>(PhraseBox::Urgent)->setChecked(false);
    });
    connect(control<QCheckBox>(CcCaller), &QCheckBox::toggled, this,
            [this](bool checked) { m_state.settings.ccCaller = checked ? 1 : 0; });
    connect(control<QCheckBox>(KeepOnTop), &QCheckBox::toggled, this, &MessageForm::keepOnTopToggled);
    connect(control<QPushButton>(Attach), &QPushButton::clicked, this, &MessageForm::attachOrDetach);
    connect(control<QPushButton>(Send), &QPushButton::clicked, this, &MessageForm::send);
    connect(control<QPushButton>(Close), &QPushButton::clicked, this, &MessageForm::reject);
    connect(control<QPushButton>(EditRecipients), &QPushButton::clicked, this,
            &MessageForm::editRecipientsRequested);
    connect(control<QPushButton>(Setup), &QPushButton::clicked, this, &MessageForm::setupRequested);
    connect(control<QPushButton>(About), &QPushButton::clicked, this, &MessageForm::aboutRequested);
    connect(control<QPushButton>(Help), &QPushButton::clicked, this, &MessageForm::helpRequested);
}

QCheckBox *MessageForm::recipientBox(int index) const
{
    return control<QCheckBox>(FirstRecipient + index);
}

void MessageForm::clockTick()
{
    m_state.clock = MakeClockTexts(QDateTime::currentDateTime(), QLocale::system());
    control<QLabel>(Date)->setText(m_state.clock.date);
    control<QLabel>(Time)->setText(m_state.clock.time);
}

void MessageForm::recipientsChanged()
{
    labelRecipients();
}

void MessageForm::customMessagesChanged()
{
    const SettingsRecord &s = m_state.settings;
    ApplyCustomMessageBox(control<QCheckBox>(PhraseBox::Custom1), s.customMessage1Enabled,
                          ReadTextField(s.customMessage1));
    ApplyCustomMessageBox(control<QCheckBox>(PhraseBox::Custom2), s.customMessage2Enabled,
                          ReadTextField(s.customMessage2));
}

void MessageForm::labelRecipients()
{
    for (int i = 0; i < kRecipientCount; ++i) {
        const QString name = ReadTextField(m_state.recipients.entries[i].name);
        QCheckBox *box = recipientBox(i);
        box->setText(AsCaption(name));
        // A box without a caption can still be ticked: a screen reader says
        // which one it is.
        box->setAccessibleName(name.isEmpty() ? QStringLiteral("Recipient %1").arg(i + 1) : QString());
    }
}

void MessageForm::updateSendButton()
{
    bool anyTicked = false;
    for (int i = 0; i < kRecipientCount && !anyTicked; ++i)
        anyTicked = recipientBox(i)->isChecked();
    control<QPushButton>(Send)->setEnabled(anyTicked);
}

void MessageForm::selectAllToggled(bool checked)
{
    for (int i = 0; i < kRecipientCount; ++i)
        recipientBox(i)->setChecked(checked);
    updateSendButton();
}

void MessageForm::keepOnTopToggled(bool checked)
{
    m_state.settings.keepOnTop = checked ? 1 : 0;
    applyKeepOnTop(checked);
    if (checked) {
        raise();
        activateWindow();
    }
    SaveDataFiles(m_state);
}

void MessageForm::applyKeepOnTop(bool onTop)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    // A new window flag takes effect by hiding the window and showing it again.
    const bool wasVisible = isVisible();
    m_changingWindowFlags = true;
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    m_changingWindowFlags = false;
    if (wasVisible)
        show();
}

void MessageForm::setVisible(bool visible)
{
    // A dialog takes any hide as its end and leaves its modal run; the brief
    // hide of a window-flag change must not end the form.
    if (m_changingWindowFlags) {
        QWidget::setVisible(visible);
        return;
    }
    QDialog::setVisible(visible);
}

void MessageForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        raise();
        activateWindow();
    }
}

FormSnapshot MessageForm::snapshot() const
{
    FormSnapshot s;
    for (int i = 0; i < kRecipientCount; ++i)
        s.inputs.recipientTicked[i] = recipientBox(i)->isChecked();
    for (int id : kPhraseBoxes) {
        if (control<QCheckBox>(id)->isChecked())
            s.inputs.tickedPhrases.insert(id);
    }
    s.inputs.callerName = control<QLineEdit>(CallerName)->text();
    s.inputs.callerCompany = control<QLineEdit>(CallerCompany)->text();
    s.inputs.callerPhone = control<QLineEdit>(CallerPhone)->text();
    s.inputs.callerEmail = control<QLineEdit>(CallerEmail)->text();
    s.inputs.messageText = MessageTextFromEdit(control<QPlainTextEdit>(MessageText)->toPlainText());
    s.hasAttachment = m_state.message.hasAttachment == 1;
    s.attachmentPath = m_state.message.attachmentPath;
    s.attachmentName = m_state.message.attachmentName;
    s.selectAllTicked = control<QCheckBox>(SelectAll)->isChecked();
    s.ccCallerTicked = control<QCheckBox>(CcCaller)->isChecked();
    return s;
}

void MessageForm::send()
{
    const FormSnapshot sent = snapshot();
    const RenderOutcome outcome = RenderMessage(m_state, sent.inputs);
    if (!outcome.ok) {
        // Nothing is cleared: the message stays on the form to be sent again.
        auto *box = new QMessageBox(
            QMessageBox::Warning, QStringLiteral("Quorvane"),
            QStringLiteral("The message was not sent: its file could not be written:\n%1\n\n"
                           "The message is still on the form. Check that you have 'write' access "
                           "to this folder, then press Send again.")
                .arg(outcome.failedPath),
            QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }

    for (int id : kPhraseBoxes)
        control<QCheckBox>(id)->setChecked(false);
    emit sendRequested(sent);

    // Ready for the next caller while the mail goes out.
    for (int i = 0; i < kRecipientCount; ++i)
        recipientBox(i)->setChecked(false);
    for (int id : kCallerEdits)
        control<QLineEdit>(id)->clear();
    control<QPlainTextEdit>(MessageText)->clear();
    control<QPushButton>(Send)->setEnabled(false);

    m_state.settings.keepOnTop = control<QCheckBox>(KeepOnTop)->isChecked() ? 1 : 0;
    const bool autoClose = control<QCheckBox>(AutoClose)->isChecked();
    m_state.settings.autoCloseAfterSend = autoClose ? 1 : 0;
    SaveDataFiles(m_state);
    if (autoClose) {
        endForm(kSentAndClosed);
        return;
    }
    // The next caller's name is typed at once, as on a fresh form.
    control<QLineEdit>(CallerName)->setFocus(Qt::OtherFocusReason);
}

void MessageForm::restore(const FormSnapshot &sent)
{
    for (int i = 0; i < kRecipientCount; ++i)
        recipientBox(i)->setChecked(sent.inputs.recipientTicked[i]);
    for (int id : kPhraseBoxes) {
        QCheckBox *box = control<QCheckBox>(id);
        // A custom phrase switched off since stays off.
        box->setChecked(box->isEnabled() && sent.inputs.tickedPhrases.contains(id));
    }
    control<QLineEdit>(CallerName)->setText(sent.inputs.callerName);
    control<QLineEdit>(CallerCompany)->setText(sent.inputs.callerCompany);
    control<QLineEdit>(CallerPhone)->setText(sent.inputs.callerPhone);
    control<QLineEdit>(CallerEmail)->setText(sent.inputs.callerEmail);
    control<QPlainTextEdit>(MessageText)->setPlainText(MessageTextForEdit(sent.inputs.messageText));
    {
        // Put back as it was, not acted on: it would tick every recipient,
        // and one may have been unticked after it.
        const QSignalBlocker quiet(control<QCheckBox>(SelectAll));
        control<QCheckBox>(SelectAll)->setChecked(sent.selectAllTicked);
    }
    control<QCheckBox>(CcCaller)->setChecked(sent.ccCallerTicked);
    m_state.settings.ccCaller = sent.ccCallerTicked ? 1 : 0;
    showAttachment(sent.hasAttachment, sent.attachmentPath, sent.attachmentName);
    updateSendButton();
}

void MessageForm::attachOrDetach()
{
    if (m_state.message.hasAttachment == 1) {
        showAttachment(false, {}, {});
        return;
    }
    m_state.message.attachmentPath.clear();
    const QString picked =
        QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("All Files (*)"));
    const QFileInfo file(picked);
    if (!picked.isEmpty() && file.isFile())
        showAttachment(true, file.absoluteFilePath(), file.fileName());
    else
        showAttachment(false, {}, {});
}

void MessageForm::showAttachment(bool attached, const QString &path, const QString &name)
{
    m_state.message.hasAttachment = attached ? 1 : 0;
    m_state.message.attachmentPath = path;
    m_state.message.attachmentName = name;
    control<PathLabel>(AttachmentName)->setFullText(name);
    m_controls.widget(AttachmentIndicator)->setVisible(attached);
    control<QPushButton>(Attach)->setText(QString::fromUtf8(attached ? kDetachCaption : kAttachCaption));
}

void MessageForm::storeOptions()
{
    m_state.settings.keepOnTop = control<QCheckBox>(KeepOnTop)->isChecked() ? 1 : 0;
    m_state.settings.autoCloseAfterSend = control<QCheckBox>(AutoClose)->isChecked() ? 1 : 0;
}

void MessageForm::reject()
{
    storeOptions();
    SaveDataFiles(m_state);
    endForm(kClosed);
}

void MessageForm::endForm(int result)
{
    m_state.formOpen = 0;
    done(result);
}
