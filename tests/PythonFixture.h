#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A server of tests/fixtures run with the system's Python on 127.0.0.1 for
// one test: the SMTP server, the one taking XOAUTH2, or the authorization
// server. Each prints its port once it listens and appends what happened to
// events.jsonl in the folder given with --out.
class PythonFixture {
public:
    explicit PythonFixture(const QString &script) : m_script(script) {}
    ~PythonFixture() { stop(); }
    PythonFixture(const PythonFixture &) = delete;
    PythonFixture &operator=(const PythonFixture &) = delete;

    // Starts the server with the fixture's options (see its --help) and waits
    // until it listens. False, with the reason in error(), if it did not.
    bool start(const QStringList &arguments = {});
    void stop();

    int port() const { return m_port; }
    QString error() const { return m_error; }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

    // The events of one kind ("auth", "connect", "rcpt-rejected", ...), in order.
    QList<QJsonObject> events(const QString &kind) const;
    QString outFolder() const { return m_folder.filePath(QStringLiteral("out")); }

private:
    QString m_script;
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
