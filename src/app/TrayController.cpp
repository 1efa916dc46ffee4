#include "app/TrayController.h"

#include "app/AppState.h"
#include "app/SendErrorDialog.h"

#include <QCoreApplication>
#include <QIcon>

TrayController::TrayController(AppState &state, QObject *parent) : QObject(parent), m_state(state)
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/quorvane-%1.png").arg(size), QSize(size, size));
    m_tray.setIcon(icon);

    m_openAction = m_menu.addAction(QStringLiteral("&Open"));
    m_exitAction = m_menu.addAction(QStringLiteral("E&xit"));
    m_menu.setDefaultAction(m_openAction);
    connect(m_openAction, &QAction::triggered, this, &TrayController::openForm, Qt::QueuedConnection);
    connect(m_exitAction, &QAction::triggered, this, &TrayController::exitProgram, Qt::QueuedConnection);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TrayController::onActivated);

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
    m_tray.setToolTip(kTrayTip);
    m_tray.setContextMenu(&m_menu);
    m_tray.show();
}

void TrayController::removeFromTray()
{
    m_tray.hide();
}

void TrayController::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Right click shows the menu by itself; double and middle clicks do nothing.
    if (reason == QSystemTrayIcon::Trigger)
        openForm();
}

void TrayController::openForm()
{
}

void TrayController::exitProgram()
{
    // Nothing is saved here: every change was saved when it was made, and an
    // open dialog is discarded as it stands.
    m_tick.stop();
    removeFromTray();
    QCoreApplication::exit(0);
}

void TrayController::clockTick()
{
}

void TrayController::showSendOutcome(int result)
{
    if (result != 0) {
        SendErrorDialog dialog;
        dialog.exec();
        return;
    }
    m_noticeTimer.start(); // a second success restarts the two seconds
    m_notice.show();
}
