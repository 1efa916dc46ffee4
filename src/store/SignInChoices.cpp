#include "store/SignInChoices.h"

#include "store/SafeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// A value spans one line; a line break typed into a field cannot add a key.
QByteArray OneLine(const QString &value)
{
    QString out = value;
    out.replace(u'\r', u' ').replace(u'\n', u' ');
    return out.trimmed().toUtf8();
}

QByteArray Flag(bool value)
{
    return value ? "true" : "false";
}

} // namespace

QString SignInChoicesPath(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/signin.conf");
}

SignInChoices ReadSignInChoices(const QString &path)
{
    SignInChoices out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    out.sendThrough = QStringLiteral("smtp");
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        const qsizetype equals = line.indexOf('=');
        if (line.isEmpty() || line.startsWith('#') || equals < 1)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "Provider")
            out.provider = value;
        else if (key == "ClientId")
            out.clientId = value;
        else if (key == "Tenant")
            out.tenant = value;
        else if (key == "Active")
            out.active = value == QStringLiteral("true");
        else if (key == "TokenInFile")
            out.tokenInFile = value == QStringLiteral("true");
        else if (key == "AuthorizeUrl")
            out.authorizeUrl = value;
        else if (key == "TokenUrl")
            out.tokenUrl = value;
        else if (key == "Scope")
            out.scope = value;
        else if (key == "Expired")
            out.expired = value == QStringLiteral("true");
        else if (key == "SendThrough")
            out.sendThrough = value;
        else if (key == "ApiUrl")
            out.apiUrl = value;
    }
    return out;
}

bool WriteSignInChoices(const QString &path, const SignInChoices &choices)
{
    if (!MakePrivateFolder(QFileInfo(path).absolutePath()))
        return false;
    const QByteArray text = "# Quorvane: how this profile signs in to its mail provider (no secrets here)\n"
                            "Provider=" + OneLine(choices.provider) + "\n"
                            "ClientId=" + OneLine(choices.clientId) + "\n"
                            "Tenant=" + OneLine(choices.tenant) + "\n"
                            "Active=" + Flag(choices.active) + "\n"
                            "TokenInFile=" + Flag(choices.tokenInFile) + "\n"
                            "AuthorizeUrl=" + OneLine(choices.authorizeUrl) + "\n"
                            "TokenUrl=" + OneLine(choices.tokenUrl) + "\n"
                            "Scope=" + OneLine(choices.scope) + "\n"
                            "Expired=" + Flag(choices.expired) + "\n"
                            "SendThrough=" + OneLine(choices.sendThrough) + "\n"
                            "ApiUrl=" + OneLine(choices.apiUrl) + "\n";
    return WriteFileAtomically(path, text);
}
