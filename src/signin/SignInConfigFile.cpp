#include "signin/SignInConfigFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QSettings>

namespace {

const QString kRelativePath = QStringLiteral("Lumarc/quorvane-signin.conf");

QString Joined(const QString &folder)
{
    return folder.endsWith(u'/') ? folder + kRelativePath : folder + u'/' + kRelativePath;
}

// QSettings turns a value with a comma in it into a list; the keys here are
// single values, so it is put back as written.
QString Value(const QSettings &file, const char *key)
{
    const QVariant value = file.value(QLatin1String(key));
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',').trimmed();
    return value.toString().trimmed();
}

} // namespace

QStringList SignInConfigCandidates(const QString &configHome, const QString &configDirs, const QString &home)
{
    QStringList out;
    // XDG says relative paths in these variables are invalid and ignored.
    if (!configHome.isEmpty() && configHome.startsWith(u'/'))
        out.append(Joined(configHome));
    else if (!home.isEmpty())
        out.append(Joined(home + QStringLiteral("/.config")));
    QStringList dirs;
    for (const QString &dir : configDirs.split(u':', Qt::SkipEmptyParts)) {
        if (dir.startsWith(u'/'))
            dirs.append(dir);
    }
    if (dirs.isEmpty())
        dirs.append(QStringLiteral("/etc/xdg"));
    for (const QString &dir : dirs)
        out.append(Joined(dir));
    return out;
}

QString FindSignInConfigFile(const QString &configHome, const QString &configDirs, const QString &home)
{
    for (const QString &path : SignInConfigCandidates(configHome, configDirs, home)) {
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString FindSignInConfigFile()
{
    return FindSignInConfigFile(qEnvironmentVariable("XDG_CONFIG_HOME"), qEnvironmentVariable("XDG_CONFIG_DIRS"),
                                qEnvironmentVariable("HOME"));
}

SignInSettings ReadSignInConfigFile(const QString &path)
{
    SignInSettings out;
    if (path.isEmpty() || !QFileInfo(path).isReadable())
        return out;
    // Read as UTF-8 otherwise, a stray byte would become another value.
    QFile raw(path);
    if (raw.open(QIODevice::ReadOnly)) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(raw.read(1 << 20));
        if (utf8.hasError()) {
            out.problem = QStringLiteral("The sign-in file %1 is not UTF-8 text: it is not used").arg(path);
            return out;
        }
    }
    QSettings file(path, QSettings::IniFormat);
    file.beginGroup(QStringLiteral("SignIn"));
    out.provider = Value(file, "Provider").toLower();
    out.clientId = Value(file, "ClientId");
    out.clientSecret = Value(file, "ClientSecret");
    out.tenant = Value(file, "Tenant");
    out.authorizeUrl = Value(file, "AuthorizeUrl");
    out.tokenUrl = Value(file, "TokenUrl");
    out.scope = Value(file, "Scope");
    if (file.contains(QStringLiteral("Prompt")))
        out.prompt = Value(file, "Prompt");
    out.revocationUrl = Value(file, "RevocationUrl");
    out.sendThrough = Value(file, "SendThrough").toLower();
    out.apiUrl = Value(file, "ApiUrl");
    if (!out.sendThrough.isEmpty() &&
        !QStringList{QStringLiteral("smtp"), QStringLiteral("graph"), QStringLiteral("gmail")}.contains(out.sendThrough)) {
        SignInSettings refused;
        refused.problem = QStringLiteral("The sign-in file %1 sends through \"%2\", which this program does not know "
                                         "(smtp, graph or gmail): it is not used")
                              .arg(path, Value(file, "SendThrough").left(40));
        return refused;
    }
    const QString provider = Value(file, "Provider");
    if (!provider.isEmpty() && !QStringList{QStringLiteral("microsoft"), QStringLiteral("google"), QStringLiteral("custom")}
                                    .contains(out.provider)) {
        SignInSettings refused;
        refused.problem = QStringLiteral("The sign-in file %1 names the provider \"%2\", which this program does not "
                                         "know (microsoft, google or custom): it is not used")
                              .arg(path, provider.left(40));
        return refused;
    }
    return out;
}
