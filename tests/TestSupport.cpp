#include "TestSupport.h"

#include "mail/DeliveryJob.h"

#include <QThread>

#include "store/DataFiles.h"
#include "store/RecordBytes.h"
#include "store/SafeFile.h"
#include "store/TextField.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <sys/resource.h>

void PointDataAt(StoredData &data, const QString &appDataFolder)
{
    data.appDataFolder = appDataFolder;
    data.settingsPath = SettingsFilePath(appDataFolder);
    data.recipientsPath = RecipientsFilePath(appDataFolder);
    data.autoRunCommand = QStringLiteral("\"/opt/quorvane/bin/quorvane\"");
}

Profile::Profile(Start start)
{
    state.installedPath = QStringLiteral("/opt/quorvane/bin/");
    data.messages = &messages;
    if (start == Nothing) {
        PointDataAt(data, dir.path() + QStringLiteral("/config"));
        return;
    }
    PointDataAt(data, dir.path());
    MakePrivateFolder(folder());
    ResetSettings(data);
    if (start == Defaults)
        SaveDataFiles(data);
}

QString Profile::folder() const
{
    return DataFolderPath(data.appDataFolder);
}

void Profile::setRecipient(int index, const QString &name, const QString &address)
{
    WriteTextField(data.recipients.entries[index].name, name);
    WriteTextField(data.recipients.entries[index].address, address);
}

SettingsRecord Profile::savedSettings() const
{
    SettingsRecord record;
    SettingsFromBytes(record, ReadWholeFile(data.settingsPath));
    return record;
}

RecipientTable Profile::savedRecipients() const
{
    RecipientTable table;
    RecipientsFromBytes(table, ReadWholeFile(data.recipientsPath));
    return table;
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList FolderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

FileSizeLimit::FileSizeLimit(long long bytes)
{
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_softLimit = static_cast<long long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_softLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}

DeliveryOutcome DeliverOnWorker(DeliveryJob job)
{
    DeliveryOutcome outcome;
    std::unique_ptr<QThread> worker(
        QThread::create([&outcome, job = std::move(job)]() mutable { outcome = Deliver(std::move(job)); }));
    worker->start();
    worker->wait();
    return outcome;
}
