#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// One running copy per profile: a lock file in the data folder, taken without
// waiting. A lock that names no live copy on this machine (left by a copy that
// was killed, or emptied or garbled by a power cut) is taken over. Copies that
// find the lock held can ask the running one to show itself, which it does
// only where the desktop has no notification area to find it in.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    enum Outcome {
        Owner,             // this copy now owns the profile
        HeldByAnother,     // a running copy owns it
        HeldOnAnotherHost, // the lock names another computer, which cannot be asked
        Unavailable,       // no lock can be made here (the folder is not writable)
    };
    Outcome acquire();

    // After HeldOnAnotherHost, when the user chose to start here anyway.
    // Still HeldByAnother when a live copy holds the lock after all.
    Outcome takeOver();

    // The computer named in a lock held on another host.
    QString holderHost() const { return m_holderHost; }

    // From a second copy: ask the owner to come forward. Returns quickly.
    void askOwnerToShow();

signals:
    void showRequested();

private:
    Outcome becomeOwner();
    void answerCallers();
    QByteArray socketName() const;

    QString m_dataFolder;
    QLockFile m_lock;
    QString m_holderHost;
    // The socket later copies ask through: a plain local socket with a
    // notifier, so that the program needs no network library at start.
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_callers;
};
