#include "SecondUser.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace {

bool Run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

SecondUser::SecondUser()
{
    if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/sbin/useradd")))
        return;
    m_name = QStringLiteral("qvtest%1").arg(QCoreApplication::applicationPid());
    if (!Run(QStringLiteral("/usr/sbin/useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                                   QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), m_name}))
        return;
    const passwd *entry = ::getpwnam(QFile::encodeName(m_name).constData());
    if (!entry) {
        Run(QStringLiteral("/usr/sbin/userdel"), {m_name});
        return;
    }
    m_uid = entry->pw_uid;
    m_gid = entry->pw_gid;
    m_ok = true;
}

SecondUser::~SecondUser()
{
    if (m_ok)
        Run(QStringLiteral("/usr/sbin/userdel"), {m_name});
}

QStringList SecondUser::asUser(const QString &program, const QStringList &arguments) const
{
    return QStringList{QStringLiteral("/usr/bin/setpriv"), QStringLiteral("--reuid=%1").arg(m_uid),
                       QStringLiteral("--regid=%1").arg(m_gid), QStringLiteral("--clear-groups"), program} +
           arguments;
}
