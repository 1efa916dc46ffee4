#pragma once

#include "app/NoticeWindow.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

struct AppState;

// Owns the tray icon, its menu, the clock tick and the notice, and routes
// between the tray, the message form and delivery.
class TrayController : public QObject {
    Q_OBJECT
public:
    static inline const QString kTrayTip = QStringLiteral("Quorvane Ready.\nLeft click to create a message.");

    explicit TrayController(AppState &state, QObject *parent = nullptr);
    ~TrayController() override;

    QSystemTrayIcon &trayIcon() { return m_tray; }
    QMenu &trayMenu() { return m_menu; }
    NoticeWindow &notice() { return m_notice; }

public slots:
    void putInTray();
    void removeFromTray();
    void openForm();
    void exitProgram();
    void clockTick();
    // 0: the mail went out; anything else: it did not.
    void showSendOutcome(int result);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    AppState &m_state;
    QSystemTrayIcon m_tray;
    QMenu m_menu;
    QAction *m_openAction = nullptr;
    QAction *m_exitAction = nullptr;
    QTimer m_tick;
    QTimer m_noticeTimer;
    NoticeWindow m_notice;
};
