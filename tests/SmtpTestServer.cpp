#include "SmtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString FixturePath()
{
    return QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/smtp_server.py");
}

// Guards against a fixture that never comes up; it normally listens at once.
constexpr int kStartGuardMs = 20000;

} // namespace

bool SmtpTestServer::start(const QStringList &arguments)
{
    process_.setProgram(QStringLiteral(QUORVANE_TEST_PYTHON));
    process_.setArguments(QStringList{FixturePath(), QStringLiteral("--out"), outFolder()} + arguments);
    // To a file, not a pipe: a pipe nobody reads would fill and stall the server.
    const QString log = folder_.filePath(QStringLiteral("server.log"));
    process_.setStandardErrorFile(log);
    process_.start();
    if (!process_.waitForStarted(kStartGuardMs)) {
        error_ = process_.errorString();
        return false;
    }
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (!process_.waitForReadyRead(kStartGuardMs)) {
            QFile errors(log);
            errors.open(QIODevice::ReadOnly);
            error_ = QStringLiteral("the SMTP fixture did not start: ") + QString::fromUtf8(errors.readAll());
            stop();
            return false;
        }
        line += process_.readAllStandardOutput();
    }
    bool ok = false;
    port_ = line.trimmed().toInt(&ok);
    if (!ok) {
        error_ = QStringLiteral("the SMTP fixture printed no port: ") + QString::fromUtf8(line);
        stop();
        return false;
    }
    return true;
}

void SmtpTestServer::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

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

QList<QJsonObject> SmtpTestServer::events(const QString &kind) const
{
    QList<QJsonObject> out;
    QFile file(QDir(outFolder()).filePath(QStringLiteral("events.jsonl")));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value(QStringLiteral("event")).toString() == kind)
            out.append(event);
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
