#include "PythonFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace {

// Guards against a fixture that never comes up; it normally listens at once.
constexpr int kStartGuardMs = 20000;

} // namespace

bool PythonFixture::start(const QStringList &arguments)
{
    m_process.setProgram(QStringLiteral(QUORVANE_TEST_PYTHON));
    m_process.setArguments(QStringList{QStringLiteral(QUORVANE_TEST_DATA_DIR "/fixtures/") + m_script,
                                       QStringLiteral("--out"), outFolder()} +
                           arguments);
    // To a file, not a pipe: a pipe nobody reads would fill and stall the server.
    const QString log = m_folder.filePath(QStringLiteral("server.log"));
    m_process.setStandardErrorFile(log);
    m_process.start();
    if (!m_process.waitForStarted(kStartGuardMs)) {
        m_error = m_process.errorString();
        return false;
    }
    QByteArray line;
    while (!line.endsWith('\n')) {
        if (!m_process.waitForReadyRead(kStartGuardMs)) {
            QFile errors(log);
            errors.open(QIODevice::ReadOnly);
            m_error = m_script + QStringLiteral(" did not start: ") + QString::fromUtf8(errors.readAll());
            stop();
            return false;
        }
        line += m_process.readAllStandardOutput();
    }
    bool ok = false;
    m_port = line.trimmed().toInt(&ok);
    if (!ok || m_port <= 0) {
        m_error = m_script + QStringLiteral(" printed no port: ") + QString::fromUtf8(line);
        stop();
        return false;
    }
    return true;
}

void PythonFixture::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QList<QJsonObject> PythonFixture::events(const QString &kind) const
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
