#include "app/TrayController.h"

#include "app/AppState.h"
#include "app/HelpLauncher.h"
#include "app/ProgramLibraries.h"
#include "app/RunOffUiThread.h"
#include "app/SendErrorDialog.h"
#include "app/SendMail.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/RecipientsEditor.h"
#include "dialogs/SetupDialog.h"
#include "form/MessageForm.h"
#include "store/DataFiles.h"
#include "store/SignInChoices.h"
#include "widgets/LazyIcon.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIcon>

#include <utility>

TrayController::TrayController(AppState &state, QObject *parent) : QObject(parent), m_state(state)
{
    QList<IconFile> sizes;
    for (int size : {16, 22, 24, 32, 48, 64})
        sizes.append({size, QStringLiteral(":/icons/quorvane-%1.png").arg(size)});
    m_icon = LazyIcon(sizes);

    m_openAction = m_menu.addAction(QStringLiteral("&Open"));
    m_exitAction = m_menu.addAction(QStringLiteral("E&xit"));
    m_menu.setDefaultAction(m_openAction);
    connect(m_openAction, &QAction::triggered, this, &TrayController::openForm, Qt::QueuedConnection);
    connect(m_exitAction, &QAction::triggered, this, &TrayController::exitProgram, Qt::QueuedConnection);
    connect(&m_sniHosts, &StatusNotifierHostWatch::hostAppeared, this, &TrayController::trayHostAppeared);
    connect(&m_xembedTrays, &XEmbedTrayWatch::trayAppeared, this, &TrayController::trayHostAppeared);

    m_tick.setInterval(5000);
    connect(&m_tick, &QTimer::timeout, this, &TrayController::clockTick);
    m_tick.start();

    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(2000);
    connect(&m_noticeTimer, &QTimer::timeout, &m_notice, &QWidget::hide);
}

TrayController::~TrayController() = default;

void TrayController::putInTray()
{
    m_wantTray = true;
    showTrayIcon();
}

void TrayController::removeFromTray()
{
    m_wantTray = false;
    m_xembedTrays.stopWatching();
    if (m_tray)
        m_tray->hide();
}

bool TrayController::inTray() const
{
    // Asked only of an icon that exists: Qt's answer is fixed by then.
    return m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayController::showTrayIcon()
{
    if (!m_wantTray || m_exiting)
        return;
    if (!m_tray) {
        // Qt decides once, when the first icon is made, whether it talks to
        // a D-Bus panel or embeds in an X tray, and never looks again. So no
        // icon is made before one of the two is there: a program started
        // before its panel, as at log-in, would otherwise stay without one.
        const bool dbusPanel = m_sniHosts.hostPresent();
        if (!dbusPanel && !m_xembedTrays.trayPresent()) {
            m_xembedTrays.startWatching();
            return;
        }
        m_xembedTrays.stopWatching();
        m_tray = std::make_unique<QSystemTrayIcon>(m_icon);
        m_trayOnDBus = dbusPanel;
        connect(m_tray.get(), &QSystemTrayIcon::activated, this, &TrayController::onActivated);
        m_tray->setToolTip(kTrayTip);
        m_tray->setContextMenu(&m_menu);
    }
    m_tray->show();
    if (std::exchange(m_untouchedStandInForm, false) && m_form) {
        // The panel was only late, as at a slow log-in: the icon is the
        // program's face again, and nothing typed is lost by closing.
        qApp->removeEventFilter(this);
        m_form->reject();
    }
}

void TrayController::trayHostAppeared()
{
    if (m_tray && m_trayOnDBus && m_tray->isVisible()) {
        // A panel that restarted has a new watcher that does not know the
        // icon: showing it again registers it anew.
        m_tray->hide();
        m_tray->show();
        return;
    }
    showTrayIcon();
}

void TrayController::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Right click shows the menu by itself; double and middle clicks do nothing.
    // The form runs a loop of its own until it closes: it is opened from the
    // event loop, so that a panel's D-Bus call that brought the click gets its
    // answer at once instead of waiting for the form to close.
    if (reason == QSystemTrayIcon::Trigger)
        QMetaObject::invokeMethod(this, &TrayController::openForm, Qt::QueuedConnection);
}

void TrayController::openForm()
{
    if (m_exiting)
        return;
    if (m_sending) {
        m_openAfterSend = true;
        return;
    }
    // A form that has ended but not yet returned from its run is not open.
    if (m_form && m_form->isVisible()) {
        m_form->show();
        m_form->raise();
        m_form->activateWindow();
        return;
    }
    runForm(nullptr);
}

void TrayController::openFormWithoutTray()
{
    if (inTray() || m_exiting)
        return;
    if (m_sending || (m_form && m_form->isVisible())) {
        openForm(); // the user's own form, which stays
        return;
    }
    m_untouchedStandInForm = true;
    // Input reaches the form's fields, not the form: watched program-wide.
    qApp->installEventFilter(this);
    openForm();
    if (std::exchange(m_untouchedStandInForm, false))
        qApp->removeEventFilter(this);
}

bool TrayController::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
    case QEvent::Wheel:
        break;
    default:
        return false;
    }
    if (m_untouchedStandInForm && watched->isWidgetType() && m_form &&
        static_cast<QWidget *>(watched)->window() == m_form) {
        m_untouchedStandInForm = false;
        qApp->removeEventFilter(this);
    }
    return false;
}

void TrayController::runForm(const FormSnapshot *restore)
{
    MessageForm form(m_state.data);
    m_form = &form;
    connect(&form, &MessageForm::sendRequested, this, &TrayController::sendMessage, Qt::QueuedConnection);
    connect(&form, &MessageForm::editRecipientsRequested, this, &TrayController::editRecipients,
            Qt::QueuedConnection);
    connect(&form, &MessageForm::setupRequested, this, &TrayController::runSetup);
    connect(&form, &MessageForm::aboutRequested, this, &TrayController::runAbout);
    connect(&form, &MessageForm::helpRequested, this, &TrayController::launchHelp);
    if (restore)
        form.restore(*restore);
    OpenMailLibraryInBackground(LibraryFolder(m_state.installedPath));
    // Modal to nothing but itself: the tray icon stays live while it is open.
    form.setWindowModality(Qt::WindowModal);
    form.exec();
}

namespace {

// The mail service the sign-in sends through, by name; empty: SMTP, or not
// signed in.
QString SendThroughService(const StoredData &data)
{
    const SignInChoices choices = ReadSignInChoices(SignInChoicesPath(DataFolderPath(data.appDataFolder)));
    if (!choices.active)
        return {};
    if (choices.sendThrough == u"graph")
        return QStringLiteral("Microsoft 365 mail service");
    if (choices.sendThrough == u"gmail")
        return QStringLiteral("Gmail service");
    return {};
}

// Dialogs block only their owner, so the tray stays live while they are open.
// Afterwards the keyboard goes back to the owner, also where no window
// manager would hand it back.
void RunModalTo(QDialog &dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.exec();
    if (QWidget *owner = dialog.parentWidget())
        owner->activateWindow();
}

} // namespace

void TrayController::editRecipients()
{
    if (!m_form || m_exiting)
        return; // the form closed before the request was handled
    RecipientsEditor editor(m_state.data, m_form);
    connect(&editor, &RecipientsEditor::recipientsChanged, m_form.data(), &MessageForm::recipientsChanged,
            Qt::QueuedConnection);
    RunModalTo(editor);
}

void TrayController::runSetup()
{
    SetupDialog setup(m_state.data, m_form);
    if (m_form)
        connect(&setup, &SetupDialog::customMessagesChanged, m_form.data(), &MessageForm::customMessagesChanged,
                Qt::QueuedConnection);
    setup.noteSendThrough(SendThroughService(m_state.data));
    connect(&setup, &SetupDialog::signInRequested, this, [this, &setup] {
        if (const auto server = m_signIn.runDialog(&setup, m_state.data, LibraryFolder(m_state.installedPath), setup.userName()))
            setup.offerServer(server->host, server->port);
        setup.noteSendThrough(SendThroughService(m_state.data));
        setup.activateWindow();
    });
    RunModalTo(setup);
}

void TrayController::runAbout()
{
    AboutDialog about(m_form);
    RunModalTo(about);
}

void TrayController::launchHelp()
{
    LaunchHelp(m_state, HelpDocumentPath(m_state.installedPath));
}

void TrayController::exitProgram()
{
    if (m_sending) {
        m_exitAfterSend = true;
        return;
    }
    // Nothing is saved here: every change was saved when it was made, and an
    // open dialog is discarded as it stands.
    m_exiting = true;
    m_tick.stop();
    removeFromTray();
    QCoreApplication::exit(0);
}

void TrayController::clockTick()
{
    if (m_form)
        m_form->clockTick();
}

void TrayController::sendMessage(const FormSnapshot &sent, const OutgoingMessage &rendered)
{
    OutgoingMessage message = rendered;
    // The attachment as it was at Send.
    message.attachmentPath = sent.hasAttachment ? sent.attachmentPath : QString();
    // Everything the send needs is copied into the job here, on this thread;
    // the worker gets the job and nothing else.
    DeliveryJob job = MakeDeliveryJob(m_state.data, message);
    m_sending = true;
    SendMailOutcome outcome;
    // Signed in, the keyring may be asked for the refresh token here: it
    // answers on this thread only.
    const QString libraries = LibraryFolder(m_state.installedPath);
    if (m_signIn.prepare(m_state.data, libraries, job, &outcome.failure)) {
        outcome = RunOffUiThread([job = std::move(job), libraries]() mutable {
            return SendMailWithReason(std::move(job), libraries);
        });
    }
    m_signIn.sent(libraries, outcome);
    const int result = outcome.result;
    const QString &failure = outcome.failure;
    m_sending = false;

    // An open form shows the message that failed while the dialog says why.
    const bool putBack = result != 0 && !m_exiting && !m_exitAfterSend;
    if (putBack && m_form)
        m_form->restore(sent);
    showSendOutcome(result, failure);
    if (putBack) {
        // Nothing typed is lost: the message goes back on the form, which is
        // opened again if it closed itself after Send. That form is also the
        // answer to a tray click made during the send.
        if (m_form) {
            m_form->raise();
            m_form->activateWindow();
        } else {
            m_openAfterSend = false;
            runForm(&sent);
        }
    }
    if (m_exitAfterSend)
        exitProgram();
    else if (std::exchange(m_openAfterSend, false))
        openForm();
}

void TrayController::showSendOutcome(int result, const QString &failure)
{
    if (result != 0) {
        // Owned by the form when it is open, so it stands above it even when
        // the form is kept on top, and the form waits until it is read.
        SendErrorDialog dialog(m_form, failure);
        dialog.setWindowModality(Qt::WindowModal);
        dialog.exec();
        return;
    }
    m_noticeTimer.start(); // a second success restarts the two seconds
    m_notice.show();
}
