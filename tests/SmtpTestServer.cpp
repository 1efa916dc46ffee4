#include "SmtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

QList<QJsonObject> SmtpTestServer::messages() const
{
    QList<QJsonObject> out;
    for (int n = 1;; ++n) {
        QFile file(QDir(outFolder()).filePath(QStringLiteral("message-%1.json").arg(n)));
        if (!file.open(QIODevice::ReadOnly))
            break;
        out.append(QJsonDocument::fromJson(file.readAll()).object());
    }
    return out;
}

bool MakeTestCertificate(const QString &folder)
{
    QProcess openssl;
    openssl.setWorkingDirectory(folder);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-keyout"), QStringLiteral("key.pem"), QStringLiteral("-out"),
                   QStringLiteral("cert.pem"), QStringLiteral("-days"), QStringLiteral("365"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=DNS:localhost,IP:127.0.0.1")});
    return openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

int UnusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd); // nothing listens there once it is closed
    return port;
}
