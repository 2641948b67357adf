#include "plant/PasswordStore.h"

#include <qt6keychain/keychain.h>

#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

// Starts `job` and calls `finish(job or null on a timeout)` once, unless `context` went first.
void Run(QKeychain::Job *job, const QString &key, QObject *context,
         std::function<void(QKeychain::Job *)> finish)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a file in clear
    job->setKey(key);
    auto answered = std::make_shared<bool>(false);
    QPointer<QObject> guard(context);
    auto once = [answered, guard, finish](QKeychain::Job *finished) {
        if (*answered || !guard)
            return;
        *answered = true;
        finish(finished);
    };
    QObject::connect(job, &QKeychain::Job::finished, context, once);
    QTimer::singleShot(PasswordStore::kTimeoutMs, context, [once] { once(nullptr); });
    job->start();
}

QString ErrorText(QKeychain::Job *job)
{
    if (!job)
        return QStringLiteral("the secret store did not answer within 5 s");
    if (job->error() == QKeychain::EntryNotFound)
        return QStringLiteral("no password is kept for this broker");
    return QStringLiteral("the secret store cannot be used: %1").arg(job->errorString());
}

} // namespace

namespace PasswordStore {

void Read(const QString &key, QObject *context, ReadDone done)
{
    auto *job = new QKeychain::ReadPasswordJob(QLatin1String(kService));
    Run(job, key, context, [done](QKeychain::Job *j) {
        auto *read = static_cast<QKeychain::ReadPasswordJob *>(j);
        if (read && read->error() == QKeychain::NoError)
            done(read->binaryData(), QString());
        else
            done(std::nullopt, ErrorText(j));
    });
}

void Write(const QString &key, const QByteArray &password, QObject *context, WriteDone done)
{
    auto *job = new QKeychain::WritePasswordJob(QLatin1String(kService));
    job->setBinaryData(password);
    Run(job, key, context, [done](QKeychain::Job *j) {
        const bool ok = j && j->error() == QKeychain::NoError;
        done(ok, ok ? QString() : ErrorText(j));
    });
}

void Remove(const QString &key, QObject *context, WriteDone done)
{
    auto *job = new QKeychain::DeletePasswordJob(QLatin1String(kService));
    Run(job, key, context, [done](QKeychain::Job *j) {
        const bool ok =
            j && (j->error() == QKeychain::NoError || j->error() == QKeychain::EntryNotFound);
        done(ok, ok ? QString() : ErrorText(j));
    });
}

} // namespace PasswordStore
