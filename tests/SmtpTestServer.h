#pragma once

#include "PythonFixture.h"

#include <QJsonObject>
#include <QList>

// The real SMTP server of tests/fixtures/smtp_server.py, or of a fixture
// built on it (smtp_xoauth2_server.py). What it received is read back from
// the files it writes: messages as Python's e-mail parser sees them, and
// events such as log-in attempts.
class SmtpTestServer : public PythonFixture {
public:
    explicit SmtpTestServer(const QString &script = QStringLiteral("smtp_server.py")) : PythonFixture(script) {}

    QList<QJsonObject> messages() const;
};

// A self-signed certificate for localhost and 127.0.0.1: cert.pem and
// key.pem in folder. False if openssl failed.
bool MakeTestCertificate(const QString &folder);

// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();
