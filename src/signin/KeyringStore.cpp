#include "signin/KeyringStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QLibrary>
#include <QTimer>

#include <functional>

namespace {

const QString kService = QStringLiteral("Quorvane");

QString Unavailable(const QString &why)
{
    return QStringLiteral("The desktop keyring could not be used (%1). Start the desktop's keyring, "
                          "or keep the sign-in in a private file instead")
        .arg(why.simplified().isEmpty() ? QStringLiteral("no reason given") : why.simplified());
}

// Starts the job and waits for it in a local loop, at most `limit`. A job
// that outlives the wait deletes itself whenever it does end; nothing of this
// call is reached by it then.
KeyringResult Run(QKeychain::Job *job, std::chrono::milliseconds limit,
                  const std::function<void(QKeychain::Job *, KeyringResult &)> &onSuccess, bool &retry)
{
    retry = false;
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    KeyringResult result;
    bool done = false;
    QEventLoop loop;
    QObject guard;
    QObject::connect(job, &QKeychain::Job::finished, &guard, [&](QKeychain::Job *finished) {
        done = true;
        switch (finished->error()) {
        case QKeychain::NoError:
            result.status = KeyringStatus::Ok;
            onSuccess(finished, result);
            break;
        case QKeychain::EntryNotFound:
            result.status = KeyringStatus::NotFound;
            break;
        case QKeychain::AccessDeniedByUser:
        case QKeychain::AccessDenied:
            result.status = KeyringStatus::Unavailable;
            result.message = Unavailable(QStringLiteral("access was refused"));
            break;
        default:
            result.status = KeyringStatus::Unavailable;
            result.message = Unavailable(finished->errorString());
            retry = true;
            break;
        }
        loop.quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(limit);
    job->start();
    // Painting goes on, but nothing typed or clicked is acted on meanwhile: a
    // send waiting here must not be sent again, nor a dialog closed under it.
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        result.status = KeyringStatus::TimedOut;
        result.message = QStringLiteral("The desktop keyring did not answer within %1 seconds. It may be locked "
                                        "and waiting for its password, or not running")
                             .arg(std::chrono::duration_cast<std::chrono::seconds>(limit).count());
    }
    return result;
}

// The Secret Service library keeps one connection and session for the whole
// process. A keyring daemon that was stopped and started again (an update, a
// crash) does not know that session, and every later call fails with "The
// session does not exist" although the keyring answers other programs. Let
// go of it, so that the next call opens a new one. The library is the one
// the keychain library has already opened.
void ForgetKeyringSession()
{
    QLibrary secret(QStringLiteral("secret-1"), 0);
    if (!secret.load())
        return;
    using Disconnect = void (*)();
    if (const auto disconnect = reinterpret_cast<Disconnect>(secret.resolve("secret_service_disconnect")))
        disconnect();
}

// Runs a fresh job from `make`, and once more with a new session when the
// keyring answered with an error (not a refusal, not silence).
KeyringResult RunOnceMore(const std::function<QKeychain::Job *()> &make, std::chrono::milliseconds limit,
                          const std::function<void(QKeychain::Job *, KeyringResult &)> &onSuccess)
{
    bool retry = false;
    KeyringResult result = Run(make(), limit, onSuccess, retry);
    if (!retry)
        return result;
    ForgetKeyringSession();
    return Run(make(), limit, onSuccess, retry);
}

} // namespace

QString RefreshTokenKey(const QString &provider, const QString &account)
{
    return QStringLiteral("sign-in %1 %2").arg(provider.trimmed().toLower(), account.trimmed());
}

KeyringResult ReadKeyringSecret(const QString &key, std::chrono::milliseconds limit)
{
    const auto make = [&key]() -> QKeychain::Job * {
        auto *job = new QKeychain::ReadPasswordJob(kService);
        job->setKey(key);
        return job;
    };
    return RunOnceMore(make, limit, [](QKeychain::Job *finished, KeyringResult &result) {
        result.secret = static_cast<QKeychain::ReadPasswordJob *>(finished)->binaryData();
    });
}

KeyringResult WriteKeyringSecret(const QString &key, const QByteArray &secret, std::chrono::milliseconds limit)
{
    const auto make = [&key, &secret]() -> QKeychain::Job * {
        auto *job = new QKeychain::WritePasswordJob(kService);
        job->setKey(key);
        job->setBinaryData(secret);
        return job;
    };
    return RunOnceMore(make, limit, [](QKeychain::Job *, KeyringResult &) {});
}

KeyringResult DeleteKeyringSecret(const QString &key, std::chrono::milliseconds limit)
{
    const auto make = [&key]() -> QKeychain::Job * {
        auto *job = new QKeychain::DeletePasswordJob(kService);
        job->setKey(key);
        return job;
    };
    KeyringResult result = RunOnceMore(make, limit, [](QKeychain::Job *, KeyringResult &) {});
    if (result.status == KeyringStatus::NotFound)
        result.status = KeyringStatus::Ok;
    return result;
}
