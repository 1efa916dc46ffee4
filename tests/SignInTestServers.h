#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A Python fixture of tests/fixtures run with the system's Python on
// 127.0.0.1 for one test: the authorization server (oauth_server.py) or the
// SMTP server taking XOAUTH2 (smtp_xoauth2_server.py). Each prints its port
// once it listens and appends what happened to events.jsonl.
class PythonFixture {
public:
    explicit PythonFixture(const QString &script) : m_script(script) {}
    ~PythonFixture() { stop(); }
    PythonFixture(const PythonFixture &) = delete;
    PythonFixture &operator=(const PythonFixture &) = delete;

    bool start(const QStringList &arguments = {})
    {
        m_process.setProgram(QStringLiteral(QUORVANE_TEST_PYTHON));
        m_process.setArguments(QStringList{QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/") + m_script,
                                           QStringLiteral("--out"), outFolder()} +
                               arguments);
        // To a file: a pipe nobody reads would fill and stall the server.
        m_process.setStandardErrorFile(m_folder.filePath(QStringLiteral("server.log")));
        m_process.start();
        QByteArray line;
        while (!line.endsWith('\n')) {
            if (!m_process.waitForReadyRead(20000)) {
                QFile log(m_folder.filePath(QStringLiteral("server.log")));
                log.open(QIODevice::ReadOnly);
                m_error = m_script + QStringLiteral(" did not start: ") + QString::fromUtf8(log.readAll());
                stop();
                return false;
            }
            line += m_process.readAllStandardOutput();
        }
        m_port = line.trimmed().toInt();
        return m_port > 0;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    int port() const { return m_port; }
    QString error() const { return m_error; }
    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path); }

    QList<QJsonObject> events(const QString &kind) const
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
    QString outFolder() const { return m_folder.filePath(QStringLiteral("out")); }

private:
    QString m_script;
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};
