#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// Another local user for one test, made with useradd and removed with
// userdel when the test ends: the tests run as root. ok() is false where
// users cannot be made (not root), and the test then skips.
class SecondUser {
public:
    SecondUser();
    ~SecondUser();
    SecondUser(const SecondUser &) = delete;
    SecondUser &operator=(const SecondUser &) = delete;

    bool ok() const { return m_ok; }
    QString name() const { return m_name; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }
    // A command line that runs program as this user (setpriv, no login).
    QStringList asUser(const QString &program, const QStringList &arguments) const;

private:
    QString m_name;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_ok = false;
};
