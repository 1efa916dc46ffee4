#pragma once

#include <QDBusServiceWatcher>
#include <QObject>

// Whether the session has a StatusNotifierItem panel: a watcher on the
// session bus with a host registered. Qt asks this once, on the first tray
// icon, and keeps the answer; this keeps asking, so that a panel that starts
// after the program, or restarts, is seen.
class StatusNotifierHostWatch : public QObject {
    Q_OBJECT
public:
    explicit StatusNotifierHostWatch(QObject *parent = nullptr);

    bool hostPresent() const { return m_present; }

signals:
    // A watcher with a host is there now and was not before: at start, when
    // a panel starts late, and each time a panel's watcher comes back.
    void hostAppeared();

private slots:
    void check();

private:
    QDBusServiceWatcher m_watcher;
    bool m_present = false;
};
