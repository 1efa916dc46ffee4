#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The real SMTP server of tests/fixtures/smtp_server.py, run with the
// system's Python on 127.0.0.1 for one test. What it received is read back
// from the files it writes: messages as Python's e-mail parser sees them, and
// events such as log-in attempts.
class SmtpTestServer {
public:
    SmtpTestServer() = default;
    ~SmtpTestServer() { stop(); }
    SmtpTestServer(const SmtpTestServer &) = delete;
    SmtpTestServer &operator=(const SmtpTestServer &) = delete;

    // Starts the server with the fixture's options (see its --help) and waits
    // until it listens. False, with the reason in error(), if it did not.
    bool start(const QStringList &arguments = {});
    void stop();

    int port() const { return port_; }
    QString error() const { return error_; }

    QList<QJsonObject> messages() const;
    // The events of one kind ("auth", "connect", "rcpt-rejected", ...), in order.
    QList<QJsonObject> events(const QString &kind) const;

private:
    QString outFolder() const { return folder_.filePath(QStringLiteral("out")); }

    QTemporaryDir folder_;
    QProcess process_;
    int port_ = 0;
    QString error_;
};

// A self-signed certificate for localhost and 127.0.0.1: cert.pem and
// key.pem in folder. False if openssl failed.
bool MakeTestCertificate(const QString &folder);

// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();
