#include "store/AutoRun.h"

#include "store/SafeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A program path as the Desktop Entry rules want it in Exec: in double
// quotes, with ", `, $ and \ escaped inside them and "%" doubled; then, as
// Exec is itself an escaped string, every backslash doubled once more and the
// line breaks and tabs a folder name may hold written as escapes, so that no
// path can end the line and add keys of its own.
QString DesktopExecQuote(const QString &program)
{
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted = u'"' + quoted + u'"';
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    quoted.replace(u'\n', QStringLiteral("\\n"));
    quoted.replace(u'\r', QStringLiteral("\\r"));
    quoted.replace(u'\t', QStringLiteral("\\t"));
    return quoted;
}

// The command as start-up builds it is the program path in double quotes.
QString ExecLine(const QString &command)
{
    if (command.size() >= 2 && command.startsWith(u'"') && command.endsWith(u'"'))
        return DesktopExecQuote(command.mid(1, command.size() - 2));
    return DesktopExecQuote(command);
}

} // namespace

QString AutoRunEntryPath(const QString &appDataFolder)
{
    return appDataFolder + QStringLiteral("/autostart/quorvane.desktop");
}

bool SetAutoRun(const QString &appDataFolder, const QString &command)
{
    const QString path = AutoRunEntryPath(appDataFolder);
    if (!MakePrivateFolder(QFileInfo(path).absolutePath()))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Quorvane\n"
                                         "Comment=Take telephone messages and e-mail them\n"
                                         "Exec=%1\n"
                                         "Icon=quorvane\n"
                                         "Terminal=false\n"
                                         // Plasma's last start-up phase, after
                                         // its workspace and the restored session;
                                         // GNOME's default phase already comes
                                         // after its shell.
                                         "X-KDE-autostart-phase=2\n")
                              .arg(ExecLine(command) + u' ' + QLatin1String(kAtLogInArgument));
    return WriteFileAtomically(path, entry.toUtf8());
}

bool ClearAutoRun(const QString &appDataFolder)
{
    return QFile::remove(AutoRunEntryPath(appDataFolder));
}

bool IsAutoRunSet(const QString &appDataFolder)
{
    const QString path = AutoRunEntryPath(appDataFolder);
    // Only a regular file is an entry; opening a pipe would block Setup.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // An entry the desktop has switched off does not start the program.
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if ((key == QStringLiteral("Hidden") && value == QStringLiteral("true")) ||
            (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false")))
            return false;
    }
    return true;
}
