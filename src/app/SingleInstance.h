#pragma once

#include <QByteArray>
#include <QList>
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
        Unusable,          // something that is not a lock is in its place: see problem()
    };
    Outcome acquire();

    // After HeldOnAnotherHost, when the user chose to start here anyway.
    // Still HeldByAnother when a live copy holds the lock after all.
    Outcome takeOver();

    // The computer named in a lock held on another host.
    QString holderHost() const { return m_holderHost; }
    // After Unusable: which file is in the way and what the user can do.
    QString problem() const { return m_problem; }
    QString lockPath() const;

    // From a second copy: ask the owner to come forward. Returns quickly.
    void askOwnerToShow();

signals:
    void showRequested();

private:
    Outcome becomeOwner();
    // A lock path holding something QLockFile can neither use nor clear.
    Outcome clearOddLock();
    void answerCallers();
    QByteArray socketName() const;
    // Where a copy of this profile may listen, in the order the owner tries
    // them and later copies ask: $XDG_RUNTIME_DIR when it is this user's
    // alone, the abstract name, and the data folder (private too) when
    // someone else has taken the abstract name.
    QList<QByteArray> socketPaths() const;

    QString m_dataFolder;
    QLockFile m_lock;
    QString m_holderHost;
    // The socket later copies ask through: a plain local socket with a
    // notifier, so that the program needs no network library at start.
    int m_listener = -1;
    QByteArray m_boundPath; // a socket file to remove at the end
    QString m_problem;
    std::unique_ptr<QSocketNotifier> m_callers;
};
