#pragma once

#include "store/UserMessages.h"

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QPair>
#include <QString>
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
bool WriteWholeFile(const QString &path, const QByteArray &bytes);

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
