#pragma once

#include "store/UserMessages.h"

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct AppState;

// Records the message boxes a part would have shown.
class RecordedMessages : public UserMessages {
public:
    void show(const QString &caption, const QString &text) override { shown.append({caption, text}); }
    QList<QPair<QString, QString>> shown;
};

// A fresh profile in a temporary folder: appDataFolder and the data paths set
// as start-up sets them, nothing created yet.
void PointStateAt(AppState &state, const QString &appDataFolder);

QByteArray ReadWholeFile(const QString &path);
// The names in a folder, hidden ones included: what a failed write left behind.
QStringList FolderEntries(const QString &folder);
bool WriteWholeFile(const QString &path, const QByteArray &bytes);

// While it lives, no file of this process grows past bytes, as under
// "ulimit -f": a write past the limit fails with EFBIG instead of raising
// SIGXFSZ, which is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    long long m_softLimit = 0;
    void (*m_handler)(int) = nullptr;
};

// Receives what the program asks the desktop to open for one URL scheme, in
// place of a browser, for as long as it lives.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QString &scheme) : m_scheme(scheme)
    {
        QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }

private:
    QString m_scheme;
};
