#pragma once

#include "app/NoticeWindow.h"
#include "app/SignInSession.h"
#include "app/StatusNotifierHostWatch.h"
#include "app/XEmbedTrayWatch.h"
#include "form/FormSnapshot.h"
#include "form/MessageForm.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

struct AppState;


// Owns the tray icon, its menu, the clock tick and the notice, and routes
// between the tray, the message form and delivery.
class TrayController : public QObject {
    Q_OBJECT
public:
    static inline const QString kTrayTip = QStringLiteral("Quorvane Ready.\nLeft click to create a message.");

    explicit TrayController(AppState &state, QObject *parent = nullptr);
    ~TrayController() override;

    // The icon, once a notification area has appeared; null until then.
    QSystemTrayIcon *trayIcon() const { return m_tray.get(); }
    // The icon stands in a notification area the desktop shows.
    bool inTray() const;
    QMenu &trayMenu() { return m_menu; }
    NoticeWindow &notice() { return m_notice; }
    // The open message form, or null.
    MessageForm *form() const { return m_form; }

public slots:
    void putInTray();
    void removeFromTray();
    void openForm();
    // Where the desktop shows no icon (yet), the form is the program's only
    // face: opens it. If a notification area comes after all and the form is
    // still as it opened, untouched, it closes again and the icon takes over.
    void openFormWithoutTray();
    void exitProgram();
    void clockTick();
    // Delivers the message the form rendered, then shows how it went; a
    // message that did not go out is put back on the form.
    void sendMessage(const FormSnapshot &sent, const OutgoingMessage &rendered);
    // 0: the mail went out; anything else: it did not, for the reason given
    // when there is one.
    void showSendOutcome(int result, const QString &failure = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void trayHostAppeared();
    void showTrayIcon();
    void runForm(const FormSnapshot *restore);
    void editRecipients();
    void runSetup();
    void runAbout();
    void launchHelp();

    AppState &m_state;
    QIcon m_icon;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    // Qt chose the D-Bus tray for the icon: a panel's new watcher is told of it again.
    bool m_trayOnDBus = false;
    bool m_wantTray = false;
    StatusNotifierHostWatch m_sniHosts;
    XEmbedTrayWatch m_xembedTrays;
    QMenu m_menu;
    QAction *m_openAction = nullptr;
    QAction *m_exitAction = nullptr;
    QTimer m_tick;
    QTimer m_noticeTimer;
    NoticeWindow m_notice;
    QPointer<MessageForm> m_form;
    SignInSession m_signIn;
    // While a send runs, requests that would open windows or end the program
    // wait for it; after Exit, no window opens again.
    bool m_sending = false;
    bool m_openAfterSend = false;
    bool m_exitAfterSend = false;
    bool m_exiting = false;
    // The open form is the one the missing icon opened, and nothing has been
    // typed or clicked in it yet.
    bool m_untouchedStandInForm = false;
};
