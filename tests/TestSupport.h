#pragma once

#include "app/AppState.h"
#include "store/RecipientTable.h"
#include "store/SettingsRecord.h"
#include "store/UserMessages.h"

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Records the message boxes a part would have shown.
class RecordedMessages : public UserMessages {
public:
    void show(const QString &caption, const QString &text) override { shown.append({caption, text}); }
    QList<QPair<QString, QString>> shown;
};

// Points data at a profile in appDataFolder: the data paths and the autostart
// command set as start-up sets them, nothing created yet.
void PointDataAt(StoredData &data, const QString &appDataFolder);

// A profile of its own in a temporary folder, with the message boxes the
// store would show recorded.
struct Profile {
    enum Start {
        Defaults, // both data files written with what a first run leaves, no autostart entry
        Unsaved,  // the data folder made and the defaults in memory, no file written yet
        Nothing,  // the config folder (a subfolder of the temporary one) does not exist yet
    };

    explicit Profile(Start start = Defaults);
    Profile(const Profile &) = delete;
    Profile &operator=(const Profile &) = delete;

    QString folder() const; // the data folder
    void setRecipient(int index, const QString &name, const QString &address);
    SettingsRecord savedSettings() const;
    RecipientTable savedRecipients() const;

    QTemporaryDir dir;
    RecordedMessages messages;
    AppState state;
    StoredData &data = state.data;
};

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

struct DeliveryJob;
struct DeliveryOutcome;
// Delivered on a thread of its own, as the program sends.
DeliveryOutcome DeliverOnWorker(DeliveryJob job);
