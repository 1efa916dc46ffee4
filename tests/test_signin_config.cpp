#include "TestSupport.h"

#include "signin/AuthorizationUrl.h"
#include "signin/IdTokenIdentity.h"
#include "signin/Pkce.h"
#include "store/SignInChoices.h"
#include "signin/SignInConfigFile.h"
#include "signin/SignInEndpoints.h"
#include "signin/TokenFile.h"
#include "mail/TokenEndpoint.h"
#include "mail/TokenReply.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QUrlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(SignInSettings)

using namespace std::chrono_literals;

// The sign-in's plain data: where the administrator's file is found and what
// it says, the provider defaults and the endpoint rule, the choices file, the
// private token file, PKCE and the token endpoint's answers. Real files in a
// temporary folder.
class SignInConfigTest : public QObject {
    Q_OBJECT

private:
    static void Deploy(const QString &folder, const QByteArray &text)
    {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Lumarc")));
        QVERIFY(WriteWholeFile(folder + QStringLiteral("/Lumarc/quorvane-signin.conf"), text));
    }

private slots:
    void theFirstFileFoundWins()
    {
        QTemporaryDir root;
        const QString home = root.filePath(QStringLiteral("home"));
        const QString user = root.filePath(QStringLiteral("user-config"));
        const QString site = root.filePath(QStringLiteral("site"));
        const QString vendor = root.filePath(QStringLiteral("vendor"));
        const QString dirs = site + u':' + vendor;
        QVERIFY(FindSignInConfigFile(user, dirs, home).isEmpty());

        Deploy(vendor, "[SignIn]\nProvider=google\n");
        QCOMPARE(FindSignInConfigFile(user, dirs, home), vendor + QStringLiteral("/Lumarc/quorvane-signin.conf"));
        Deploy(site, "[SignIn]\nProvider=microsoft\n");
        QCOMPARE(FindSignInConfigFile(user, dirs, home), site + QStringLiteral("/Lumarc/quorvane-signin.conf"));
        Deploy(user, "[SignIn]\nProvider=custom\n");
        QCOMPARE(FindSignInConfigFile(user, dirs, home), user + QStringLiteral("/Lumarc/quorvane-signin.conf"));
        // No $XDG_CONFIG_HOME: ~/.config, and a relative one is ignored.
        Deploy(home + QStringLiteral("/.config"), "[SignIn]\n");
        QCOMPARE(FindSignInConfigFile(QString(), dirs, home), home + QStringLiteral("/.config/Lumarc/quorvane-signin.conf"));
        QCOMPARE(FindSignInConfigFile(QStringLiteral("relative"), dirs, home),
                 home + QStringLiteral("/.config/Lumarc/quorvane-signin.conf"));
    }

    void systemFoldersDefaultToEtcXdg()
    {
        QCOMPARE(SignInConfigCandidates(QStringLiteral("/h/.config"), QString(), QStringLiteral("/h")),
                 (QStringList{QStringLiteral("/h/.config/Lumarc/quorvane-signin.conf"),
                              QStringLiteral("/etc/xdg/Lumarc/quorvane-signin.conf")}));
        QCOMPARE(SignInConfigCandidates(QStringLiteral("/c/"), QStringLiteral("/a::relative:/b/"), QStringLiteral("/h")),
                 (QStringList{QStringLiteral("/c/Lumarc/quorvane-signin.conf"), QStringLiteral("/a/Lumarc/quorvane-signin.conf"),
                              QStringLiteral("/b/Lumarc/quorvane-signin.conf")}));
    }

    void theFileSaysEveryKey()
    {
        QTemporaryDir root;
        Deploy(root.path(), "[Other]\nClientId=not-this\n"
                            "[SignIn]\nProvider=Microsoft\nClientId = 0a1b2c3d-aaaa-bbbb-cccc-0123456789ab\n"
                            "ClientSecret=GOCSPX-notsecret\nTenant=contoso.onmicrosoft.com\n"
                            "AuthorizeUrl=https://login.example/authorize?a=1,b=2\nTokenUrl=https://login.example/token\n"
                            "Scope=\"https://outlook.office.com/SMTP.Send offline_access\"\n"
                            "SendThrough=Graph\nApiUrl=https://graph.microsoft.us/v1.0\n");
        const SignInSettings read = ReadSignInConfigFile(root.filePath(QStringLiteral("Lumarc/quorvane-signin.conf")));
        QCOMPARE(read.provider, QStringLiteral("microsoft"));
        QCOMPARE(read.clientId, QStringLiteral("0a1b2c3d-aaaa-bbbb-cccc-0123456789ab"));
        QCOMPARE(read.clientSecret, QStringLiteral("GOCSPX-notsecret"));
        QCOMPARE(read.tenant, QStringLiteral("contoso.onmicrosoft.com"));
        // A comma does not cut the value short.
        QCOMPARE(read.authorizeUrl, QStringLiteral("https://login.example/authorize?a=1,b=2"));
        QCOMPARE(read.tokenUrl, QStringLiteral("https://login.example/token"));
        QCOMPARE(read.scope, QStringLiteral("https://outlook.office.com/SMTP.Send offline_access"));
        QCOMPARE(read.sendThrough, QStringLiteral("graph"));
        QCOMPARE(read.apiUrl, QStringLiteral("https://graph.microsoft.us/v1.0"));
        QCOMPARE(ReadSignInConfigFile(root.filePath(QStringLiteral("missing.conf"))), SignInSettings{});
    }

    // A file that cannot be meant as written is refused whole, saying why:
    // never read as Microsoft with its client id and the user's address
    // sent there.
    // Who signed in, as the ID token says it: only a token for this client,
    // and an e-mail address only when the provider verified it.
    void theIdTokenNamesTheAccount_data()
    {
        QTest::addColumn<QByteArray>("claims");
        QTest::addColumn<QString>("account");
        QTest::newRow("verified e-mail") << QByteArray(R"({"aud":"id","email":"a@example.org","email_verified":true})")
                                         << QStringLiteral("a@example.org");
        QTest::newRow("unverified e-mail: the user name")
            << QByteArray(R"({"aud":"id","email":"a@example.org","preferred_username":"b@example.org"})") << QStringLiteral("b@example.org");
        QTest::newRow("one of several audiences") << QByteArray(R"({"aud":["x","id"],"preferred_username":"b@example.org"})")
                                                  << QStringLiteral("b@example.org");
        QTest::newRow("for another client") << QByteArray(R"({"aud":"x","email":"a@example.org","email_verified":true})") << QString();
        QTest::newRow("no audience") << QByteArray(R"({"preferred_username":"b@example.org"})") << QString();
        QTest::newRow("not JSON") << QByteArray("nonsense") << QString();
    }
    void theIdTokenNamesTheAccount()
    {
        QFETCH(QByteArray, claims);
        const auto part = [](const QByteArray &bytes) {
            return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        };
        const QByteArray token = part(R"({"alg":"RS256"})") + '.' + part(claims) + ".c2ln";
        QTEST(AccountInIdToken(token, QStringLiteral("id")), "account");
        QCOMPARE(AccountInIdToken(part(claims), QStringLiteral("id")), QString());
        QCOMPARE(AccountInIdToken("a.%%%.c", QStringLiteral("id")), QString());
    }

    void aFileThatCannotBeUsedIsRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("failure"); // %1: the file
        const QByteArray rest = "ClientId=file-id\nAuthorizeUrl=https://idp.example/a\nTokenUrl=https://idp.example/t\n";
        QTest::newRow("unknown provider")
            << "[SignIn]\nProvider=Yahoo\n" + rest
            << QStringLiteral("The sign-in file %1 names the provider \"Yahoo\", which this program does not know "
                              "(microsoft, google or custom): it is not used");
        QTest::newRow("unknown way of sending")
            << "[SignIn]\nProvider=custom\nSendThrough=carrier pigeon\n" + rest
            << QStringLiteral("The sign-in file %1 sends through \"carrier pigeon\", which this program does not know "
                              "(smtp, graph or gmail): it is not used");
        QTest::newRow("provider not in UTF-8")
            << "[SignIn]\nProvider=Micro\xf6soft\n" + rest << QStringLiteral("The sign-in file %1 is not UTF-8 text: it is not used");
        QTest::newRow("elsewhere not in UTF-8")
            << "[SignIn]\nProvider=custom\n" + rest + "Scope=m\xe9il\n" << QStringLiteral("The sign-in file %1 is not UTF-8 text: it is not used");
    }
    void aFileThatCannotBeUsedIsRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, failure);
        QTemporaryDir root;
        Deploy(root.path(), file);
        const QString path = root.filePath(QStringLiteral("Lumarc/quorvane-signin.conf"));
        const SignInSettings read = ReadSignInConfigFile(path);
        QCOMPARE(read.problem, failure.arg(path));
        QCOMPARE(read.clientId, QString());
        // Whatever the dialog shows, nothing signs in with it but its message.
        for (const char *provider : {"", "microsoft", "custom"}) {
            const SignInEndpoints endpoints = ResolveSignInEndpoints(
                MergeSignInSettings({QLatin1String(provider), QStringLiteral("typed"), {}, {}, {}, {}, {}}, read));
            QVERIFY(!endpoints.ok);
            QCOMPARE(endpoints.failure, failure.arg(path));
        }
    }

    // An address refused says what is wrong with it.
    void addressesRefusedSayWhy_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("failure");
        QTest::newRow("user and password")
            << QStringLiteral("https://user:pw@idp.example/t") << QStringLiteral("The token URL must not hold a user name or password");
        QTest::newRow("user only") << QStringLiteral("https://user@idp.example/t")
                                   << QStringLiteral("The token URL must not hold a user name or password");
        QTest::newRow("fragment") << QStringLiteral("https://idp.example/t#x") << QStringLiteral("The token URL must not end in a #fragment");
        QTest::newRow("empty fragment") << QStringLiteral("https://idp.example/t#") << QStringLiteral("The token URL must not end in a #fragment");
        QTest::newRow("plain http") << QStringLiteral("http://idp.example/t") << QStringLiteral("The token URL must begin with https://");
        QTest::newRow("no host") << QStringLiteral("https:///t") << QStringLiteral("The token URL is not a web address");
        QTest::newRow("not an address") << QStringLiteral("idp.example/t") << QStringLiteral("The token URL must begin with https://");
    }
    void addressesRefusedSayWhy()
    {
        QFETCH(QString, url);
        QFETCH(QString, failure);
        const SignInEndpoints endpoints = ResolveSignInEndpoints(
            {QStringLiteral("custom"), QStringLiteral("id"), {}, {}, QStringLiteral("https://idp.example/a"), url, {}});
        QCOMPARE(endpoints.failure, failure);
        // The token endpoint refuses it in the same words.
        const TokenResult refused = PostTokenRequest(QUrl(url, QUrl::StrictMode), "a=b", 1s);
        QCOMPARE(refused.message, failure);
    }

    void dialogValuesWinOverTheFile_data()
    {
        QTest::addColumn<SignInSettings>("typed");
        QTest::addColumn<SignInSettings>("deployed");
        QTest::addColumn<SignInSettings>("merged");
        const SignInSettings file{QStringLiteral("microsoft"), QStringLiteral("file-id"), QString(),
                                  QStringLiteral("contoso.example"), QString(), QString(), QString()};
        QTest::newRow("nothing typed: the file") << SignInSettings{} << file << file;
        SignInSettings merged = file;
        merged.clientId = QStringLiteral("typed-id");
        QTest::newRow("typed id wins, tenant from the file")
            << SignInSettings{QString(), QStringLiteral(" typed-id "), {}, {}, {}, {}, {}} << file << merged;
        merged.tenant = QStringLiteral("consumers");
        QTest::newRow("same provider typed")
            << SignInSettings{QStringLiteral("Microsoft"), QStringLiteral("typed-id"), {}, QStringLiteral("consumers"), {}, {}, {}}
            << file << merged;
        const SignInSettings google{QStringLiteral("google"), QStringLiteral("g-id"), {}, {}, {}, {}, {}};
        QTest::newRow("another provider: nothing of the file") << google << file << google;
    }
    void dialogValuesWinOverTheFile()
    {
        QFETCH(SignInSettings, typed);
        QFETCH(SignInSettings, deployed);
        QFETCH(SignInSettings, merged);
        QCOMPARE(MergeSignInSettings(typed, deployed), merged);
    }

    void providerDefaultsAndTheEndpointRule_data()
    {
        QTest::addColumn<SignInSettings>("settings");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("authorize");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<QString>("redirectHost");
        const QString ms = QStringLiteral("https://login.microsoftonline.com/organizations/oauth2/v2.0/");
        // Each sends through its own mail service unless SMTP is chosen, and
        // the scope follows the way chosen; with openid, the ID token says
        // which account signed in.
        const QString msScope = QStringLiteral("https://graph.microsoft.com/Mail.Send offline_access openid profile");
        const auto through = [](SignInSettings settings, const char *way, const char *api = "") {
            settings.sendThrough = QLatin1String(way);
            settings.apiUrl = QLatin1String(api);
            return settings;
        };
        QTest::newRow("microsoft, default tenant")
            << SignInSettings{QStringLiteral("microsoft"), QStringLiteral("id"), {}, {}, {}, {}, {}} << QString()
            << ms + QStringLiteral("authorize") << ms + QStringLiteral("token") << msScope << QStringLiteral("localhost");
        QTest::newRow("microsoft, consumers")
            << SignInSettings{QStringLiteral("microsoft"), QStringLiteral("id"), {}, QStringLiteral("consumers"), {}, {}, {}}
            << QString() << QStringLiteral("https://login.microsoftonline.com/consumers/oauth2/v2.0/authorize")
            << QStringLiteral("https://login.microsoftonline.com/consumers/oauth2/v2.0/token") << msScope
            << QStringLiteral("localhost");
        QTest::newRow("microsoft, tenant that would change the path")
            << SignInSettings{QStringLiteral("microsoft"), QStringLiteral("id"), {}, QStringLiteral("../evil"), {}, {}, {}}
            << QStringLiteral("The tenant \"../evil\" is not a tenant name or id") << QString() << QString() << QString()
            << QString();
        QTest::newRow("google")
            << SignInSettings{QStringLiteral("google"), QStringLiteral("id"), {}, {}, {}, {}, {}} << QString()
            << QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth") << QStringLiteral("https://oauth2.googleapis.com/token")
            << QStringLiteral("https://www.googleapis.com/auth/gmail.send openid email") << QStringLiteral("127.0.0.1");
        QTest::newRow("microsoft over SMTP")
            << through(SignInSettings{QStringLiteral("microsoft"), QStringLiteral("id"), {}, {}, {}, {}, {}}, "smtp") << QString()
            << ms + QStringLiteral("authorize") << ms + QStringLiteral("token")
            << QStringLiteral("https://outlook.office.com/SMTP.Send offline_access openid profile") << QStringLiteral("localhost");
        QTest::newRow("google over SMTP")
            << through(SignInSettings{QStringLiteral("google"), QStringLiteral("id"), {}, {}, {}, {}, {}}, "smtp") << QString()
            << QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth") << QStringLiteral("https://oauth2.googleapis.com/token")
            << QStringLiteral("https://mail.google.com/ openid email") << QStringLiteral("127.0.0.1");
        QTest::newRow("microsoft, a national cloud")
            << through(SignInSettings{QStringLiteral("microsoft"), QStringLiteral("id"), {}, {}, {}, {}, {}}, "graph",
                       "https://graph.microsoft.us/v1.0")
            << QString() << ms + QStringLiteral("authorize") << ms + QStringLiteral("token")
            << QStringLiteral("https://graph.microsoft.us/Mail.Send offline_access openid profile") << QStringLiteral("localhost");
        QTest::newRow("a mail service over plain http elsewhere")
            << through(SignInSettings{QStringLiteral("google"), QStringLiteral("id"), {}, {}, {}, {}, {}}, "gmail",
                       "http://gmail.example.org")
            << QStringLiteral("The mail service's URL must begin with https://") << QString() << QString() << QString()
            << QString();
        QTest::newRow("an unknown way of sending")
            << through(SignInSettings{QStringLiteral("google"), QStringLiteral("id"), {}, {}, {}, {}, {}}, "pigeon")
            << QStringLiteral("\"pigeon\" is no way of sending this program knows (smtp, graph or gmail)") << QString()
            << QString() << QString() << QString();
        QTest::newRow("custom over loopback http")
            << SignInSettings{QStringLiteral("custom"), QStringLiteral("id"), {}, {}, QStringLiteral("http://127.0.0.1:8080/authorize"),
                              QStringLiteral("http://[::1]:8080/token"), QStringLiteral("mail  send")}
            << QString() << QStringLiteral("http://127.0.0.1:8080/authorize") << QStringLiteral("http://[::1]:8080/token")
            << QStringLiteral("mail send") << QStringLiteral("127.0.0.1");
        QTest::newRow("custom, plain http elsewhere")
            << SignInSettings{QStringLiteral("custom"), QStringLiteral("id"), {}, {}, QStringLiteral("https://idp.example/authorize"),
                              QStringLiteral("http://idp.example/token"), {}}
            << QStringLiteral("The token URL must begin with https://") << QString() << QString() << QString() << QString();
        QTest::newRow("custom, 127.0.0.1 as a name elsewhere")
            << SignInSettings{QStringLiteral("custom"), QStringLiteral("id"), {}, {}, QStringLiteral("http://127.0.0.1.idp.example/a"),
                              QStringLiteral("https://idp.example/token"), {}}
            << QStringLiteral("The authorization URL must begin with https://") << QString() << QString() << QString() << QString();
        QTest::newRow("custom, user info in the address")
            << SignInSettings{QStringLiteral("custom"), QStringLiteral("id"), {}, {}, QStringLiteral("https://idp.example/a"),
                              QStringLiteral("https://user:pw@idp.example/token"), {}}
            << QStringLiteral("The token URL must not hold a user name or password") << QString() << QString() << QString() << QString();
        QTest::newRow("custom without addresses")
            << SignInSettings{QStringLiteral("custom"), QStringLiteral("id"), {}, {}, {}, {}, {}}
            << QStringLiteral("Type the authorization URL and the token URL") << QString() << QString() << QString() << QString();
        QTest::newRow("no client id")
            << SignInSettings{QStringLiteral("google"), QStringLiteral("  "), {}, {}, {}, {}, {}}
            << QStringLiteral("No client id is set: type the one your administrator registered") << QString() << QString()
            << QString() << QString();
        QTest::newRow("no provider") << SignInSettings{} << QStringLiteral("Choose who signs you in") << QString() << QString()
                                     << QString() << QString();
        QTest::newRow("unknown provider")
            << SignInSettings{QStringLiteral("yahoo"), QStringLiteral("id"), {}, {}, {}, {}, {}}
            << QStringLiteral("\"yahoo\" is not a provider this program knows") << QString() << QString() << QString() << QString();
    }
    void providerDefaultsAndTheEndpointRule()
    {
        QFETCH(SignInSettings, settings);
        QFETCH(QString, failure);
        const SignInEndpoints endpoints = ResolveSignInEndpoints(settings);
        QCOMPARE(endpoints.failure, failure);
        QCOMPARE(endpoints.ok, failure.isEmpty());
        if (!endpoints.ok)
            return;
        QTEST(endpoints.authorizeUrl.toString(), "authorize");
        QTEST(endpoints.tokenUrl.toString(), "token");
        QTEST(endpoints.scope, "scope");
        QTEST(endpoints.redirectHost, "redirectHost");
        QCOMPARE(endpoints.clientId, QStringLiteral("id"));
    }

    // A client id built into the program serves where neither the dialog
    // nor the administrator's file gives one; the built-in secret goes only
    // with the built-in id.
    void builtInClientIdServesWhenNoneIsGiven_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("typedId");
        QTest::addColumn<QString>("clientId"); // empty: refused for want of one
        QTest::addColumn<QString>("secret");
        QTest::newRow("microsoft, none given") << "microsoft" << "" << "built-in-ms" << "";
        QTest::newRow("microsoft, one typed") << "microsoft" << "typed" << "typed" << "";
        QTest::newRow("google, none given") << "google" << "" << "built-in-g" << "built-in-secret";
        QTest::newRow("google, one typed") << "google" << "typed" << "typed" << "";
        QTest::newRow("another provider has none") << "custom" << "" << "" << "";
    }

    void builtInClientIdServesWhenNoneIsGiven()
    {
        QFETCH(QString, provider);
        QFETCH(QString, typedId);
        QFETCH(QString, clientId);
        QFETCH(QString, secret);
        const SignInSettings settings{provider, typedId, {}, {}, QStringLiteral("https://idp.example/a"),
                                      QStringLiteral("https://idp.example/t"), QStringLiteral("mail")};
        const BuiltInClientIds builtIn{QStringLiteral("built-in-ms"), QStringLiteral("built-in-g"),
                                       QStringLiteral("built-in-secret")};
        const SignInEndpoints endpoints = ResolveSignInEndpoints(settings, builtIn);
        QCOMPARE(endpoints.ok, !clientId.isEmpty());
        QCOMPARE(endpoints.clientId, clientId);
        QCOMPARE(endpoints.clientSecret, secret);
        // Without a built-in id, nothing is made up.
        QCOMPARE(ResolveSignInEndpoints(settings, BuiltInClientIds{}).ok, !typedId.isEmpty());
    }

    // A refresh token comes only when the provider's page asks for consent
    // (OpenID Connect for offline_access, Google for access_type=offline);
    // Microsoft needs no asking. The administrator's Prompt wins, empty: none.
    void promptAsksWhereTheProviderWantsIt_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("prompt"); // in the authorization address; empty: not there
        const QByteArray custom = "Provider=custom\nClientId=id\nAuthorizeUrl=https://idp.example/a\n"
                                  "TokenUrl=https://idp.example/t\n";
        QTest::newRow("google") << QByteArray("Provider=google\nClientId=id\n") << QStringLiteral("consent");
        QTest::newRow("microsoft") << QByteArray("Provider=microsoft\nClientId=id\n") << QString();
        QTest::newRow("other, offline_access") << custom + "Scope=openid offline_access\n" << QStringLiteral("consent");
        QTest::newRow("other, no offline_access") << custom + "Scope=openid mail\n" << QString();
        QTest::newRow("file says another prompt")
            << custom + "Scope=openid offline_access\nPrompt=login consent\n" << QStringLiteral("login consent");
        QTest::newRow("file says none") << QByteArray("Provider=google\nClientId=id\nPrompt=\n") << QString();
        QTest::newRow("microsoft, file asks") << QByteArray("Provider=microsoft\nClientId=id\nPrompt=consent\n")
                                              << QStringLiteral("consent");
    }
    void promptAsksWhereTheProviderWantsIt()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, prompt);
        QTemporaryDir root;
        Deploy(root.path(), "[SignIn]\n" + file);
        const SignInSettings deployed = ReadSignInConfigFile(root.filePath(QStringLiteral("Lumarc/quorvane-signin.conf")));
        // Nothing typed in the dialog but the same provider.
        const SignInEndpoints endpoints = ResolveSignInEndpoints(MergeSignInSettings({deployed.provider, {}, {}, {}, {}, {}, {}}, deployed));
        QVERIFY2(endpoints.ok, qPrintable(endpoints.failure));
        const QUrlQuery asked(BuildAuthorizationUrl(endpoints, QStringLiteral("http://127.0.0.1:5/"), "s", "c", QString()));
        QCOMPARE(asked.hasQueryItem(QStringLiteral("prompt")), !prompt.isEmpty());
        QCOMPARE(asked.queryItemValue(QStringLiteral("prompt"), QUrl::FullyDecoded), prompt);
        QCOMPARE(asked.hasQueryItem(QStringLiteral("access_type")), deployed.provider == QStringLiteral("google"));
    }

    void providersSuggestTheirSmtpServer()
    {
        auto server = [](const char *provider, const char *tenant) {
            const SuggestedSmtpServer s = SmtpServerFor({QLatin1String(provider), {}, {}, QLatin1String(tenant), {}, {}, {}});
            return QStringLiteral("%1:%2").arg(s.host).arg(s.port);
        };
        QCOMPARE(server("microsoft", ""), QStringLiteral("smtp.office365.com:587"));
        QCOMPARE(server("microsoft", "consumers"), QStringLiteral("smtp-mail.outlook.com:587"));
        QCOMPARE(server("google", ""), QStringLiteral("smtp.gmail.com:587"));
        QCOMPARE(server("custom", ""), QStringLiteral(":0"));
    }

    void choicesKeepNoSecretAndOnlyTheirOwnLines()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("Lumarc/quorvane"));
        const QString path = SignInChoicesPath(folder);
        QCOMPARE(ReadSignInChoices(path), SignInChoices{});

        const SignInChoices chosen{QStringLiteral("custom"),
                                   QStringLiteral("id\nActive=false"),
                                   QStringLiteral("consumers"),
                                   true,
                                   true,
                                   QStringLiteral("https://id.example.org/authorize"),
                                   QStringLiteral("https://id.example.org/token"),
                                   QStringLiteral("smtp offline_access")};
        QVERIFY(WriteSignInChoices(path, chosen));
        QCOMPARE(QFile(path).permissions() & 0x0077, QFileDevice::Permissions());
        const SignInChoices read = ReadSignInChoices(path);
        // A line break typed into a field cannot add a line of its own.
        QCOMPARE(read.clientId, QStringLiteral("id Active=false"));
        QCOMPARE(read.provider, chosen.provider);
        QCOMPARE(read.tenant, chosen.tenant);
        QVERIFY(read.active);
        QVERIFY(read.tokenInFile);
        QCOMPARE(ChosenSignInSettings(read),
                 (SignInSettings{chosen.provider, read.clientId, {}, chosen.tenant, chosen.authorizeUrl, chosen.tokenUrl,
                                 chosen.scope}));

        QVERIFY(WriteWholeFile(path, "Provider=google\r\nFuture=1\nActive=yes\n"));
        // A file from before there was a choice of way sent over SMTP.
        SignInChoices older{QStringLiteral("google"), {}, {}, false, false, {}, {}, {}};
        older.sendThrough = QStringLiteral("smtp");
        QCOMPARE(ReadSignInChoices(path), older);
        QVERIFY(WriteWholeFile(path, "Provider=google\nSendThrough=gmail\nApiUrl=https://gmail.example\n"));
        QCOMPARE(ReadSignInChoices(path).sendThrough, QStringLiteral("gmail"));
        QCOMPARE(ReadSignInChoices(path).apiUrl, QStringLiteral("https://gmail.example"));
        QVERIFY(ReadSignInChoices(root.filePath(QStringLiteral("none.conf"))).sendThrough.isEmpty());
    }

    void theTokenFileIsTheOwnersAlone()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("Lumarc/quorvane"));
        const QString path = TokenFilePath(folder);
        QVERIFY(ReadTokenFile(path).isEmpty());
        QVERIFY(WriteTokenFile(path, "rt-first"));
        QCOMPARE(QFile(path).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(WriteTokenFile(path, "rt-second"));
        QCOMPARE(ReadTokenFile(path), QByteArray("rt-second"));
        // Someone widened it: the token may have been read, so it is not used
        // (tests/test_signin_tokenfile.cpp has the cases).
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QVERIFY(ReadTokenFile(path).isEmpty());
        QVERIFY(RemoveTokenFile(path));
        QVERIFY(!QFile::exists(path));
        QVERIFY(RemoveTokenFile(path));
    }

    void pkceMatchesTheRfcAndIsFresh()
    {
        // RFC 7636, appendix B.
        QCOMPARE(S256Challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
                 QByteArray("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
        QSet<QByteArray> seen;
        for (int i = 0; i < 50; ++i) {
            const PkcePair pair = MakePkcePair();
            QCOMPARE(pair.verifier.size(), 43);
            QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(QString::fromLatin1(pair.verifier)).hasMatch());
            QCOMPARE(pair.challenge, S256Challenge(pair.verifier));
            seen.insert(pair.verifier);
        }
        QCOMPARE(seen.size(), 50);
    }

    void tokenAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qint64>("lifetime");
        QTest::addColumn<QByteArray>("refresh");
        const int none = int(TokenFailure::None);
        QTest::newRow("tokens") << 200 << QByteArray(R"({"access_token":"at","token_type":"Bearer","expires_in":3599,"refresh_token":"rt"})")
                                << none << QString() << qint64(3599) << QByteArray("rt");
        QTest::newRow("lifetime as text, refresh kept")
            << 200 << QByteArray(R"({"access_token":"at","token_type":"bearer","expires_in":"600"})") << none << QString() << qint64(600)
            << QByteArray();
        QTest::newRow("no lifetime: five minutes") << 200 << QByteArray(R"({"access_token":"at"})") << none << QString()
                                                   << qint64(300) << QByteArray();
        // A lifetime past a day is not believed, and one that is no number
        // of seconds at all is asked about again soon: never an expiry that
        // overflows and makes every send refresh.
        const QByteArray huge = R"({"access_token":"at","expires_in":%1})";
        for (const char *value : {"9.2e15", "\"9.2e15\"", "9223372036854775807", "\"9223372036854775807\"",
                                  "\"99999999999999999999999\"", "86401"})
            QTest::newRow(QByteArray("past a day: ").append(value).constData())
                << 200 << QByteArray(huge).replace("%1", value) << none << QString() << qint64(86400) << QByteArray();
        for (const char *value : {"-5", "0", "\"soon\"", "\"\"", "\"nan\"", "\"-inf\"", "true", "{}", "0.4"})
            QTest::newRow(QByteArray("nonsense: ").append(value).constData())
                << 200 << QByteArray(huge).replace("%1", value) << none << QString() << qint64(300) << QByteArray();
        QTest::newRow("fraction of a lifetime") << 200 << QByteArray(R"({"access_token":"at","expires_in":"3599.9"})") << none
                                                << QString() << qint64(3599) << QByteArray();
        QTest::newRow("revoked") << 400 << QByteArray(R"({"error":"invalid_grant","error_description":"AADSTS70008: expired"})")
                                 << int(TokenFailure::InvalidGrant)
                                 << QStringLiteral("The sign-in has expired: sign in again in Setup") << qint64(0) << QByteArray();
        QTest::newRow("wrong client") << 401 << QByteArray(R"({"error":"invalid_client","error_description":"bad\nsecret"})")
                                      << int(TokenFailure::Refused)
                                      << QStringLiteral("The sign-in was refused: invalid_client (bad secret)") << qint64(0) << QByteArray();
        QTest::newRow("not json") << 502 << QByteArray("<html>Bad gateway</html>") << int(TokenFailure::BadReply)
                                  << QStringLiteral("The sign-in service gave an answer this program cannot read (HTTP 502)")
                                  << qint64(0) << QByteArray();
        QTest::newRow("another token type") << 200 << QByteArray(R"({"access_token":"at","token_type":"mac"})")
                                            << int(TokenFailure::BadReply)
                                            << QStringLiteral("The sign-in service gave no usable access token") << qint64(0)
                                            << QByteArray();
    }
    void tokenAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, failure);
        QFETCH(qint64, lifetime);
        const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        const TokenResult result = ParseTokenReply(status, body, now);
        QCOMPARE(int(result.failure), failure);
        QCOMPARE(result.ok, failure == int(TokenFailure::None));
        QTEST(result.message, "message");
        QTEST(result.refreshToken, "refresh");
        if (result.ok) {
            QCOMPARE(result.accessToken, QByteArray("at"));
            QCOMPARE(now.secsTo(result.expiresAt), lifetime);
        }
    }

    void anAccessTokenIsRefreshedAMinuteEarly()
    {
        const QDateTime expiry = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
        QVERIFY(AccessTokenUsable("at", expiry, expiry.addSecs(-61)));
        QVERIFY(!AccessTokenUsable("at", expiry, expiry.addSecs(-60)));
        QVERIFY(!AccessTokenUsable("at", expiry, expiry.addSecs(5)));
        QVERIFY(!AccessTokenUsable("", expiry, expiry.addSecs(-3600)));
        QVERIFY(!AccessTokenUsable("at", QDateTime(), expiry));
    }

    void formsCarryWhatEachGrantNeeds()
    {
        const QUrlQuery exchange(QString::fromLatin1(
            CodeExchangeForm(QStringLiteral("id"), QString(), QStringLiteral("c+/="), "v", QStringLiteral("http://127.0.0.1:5"))));
        QCOMPARE(exchange.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded), QStringLiteral("c+/="));
        QCOMPARE(exchange.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded), QStringLiteral("http://127.0.0.1:5"));
        QVERIFY(!exchange.hasQueryItem(QStringLiteral("client_secret")));
        const QUrlQuery refresh(QString::fromLatin1(RefreshForm(QStringLiteral("id"), QStringLiteral("s&"), "r+t", QString())));
        QVERIFY(!refresh.hasQueryItem(QStringLiteral("redirect_uri")));
        QVERIFY(!refresh.hasQueryItem(QStringLiteral("scope")));
        QCOMPARE(refresh.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded), QStringLiteral("r+t"));
        QCOMPARE(refresh.queryItemValue(QStringLiteral("client_secret"), QUrl::FullyDecoded), QStringLiteral("s&"));
    }
};

QTEST_GUILESS_MAIN(SignInConfigTest)
#include "test_signin_config.moc"
