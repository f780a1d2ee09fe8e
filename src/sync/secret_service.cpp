#include "secret_service.h"

#include "dav_client.h"

#include <QEventLoop>
#include <QTextStream>

#include <qt6keychain/keychain.h>

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace {

const QString kService = QStringLiteral("Quillmoor sync");

QString keyOf(const QUrl& collection, const QString& user)
{
    return user + u' ' + collection.toString(QUrl::FullyEncoded);
}

// Runs a keychain job to its end.
void finish(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    loop.exec();
}

QString readHidden()
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QTextStream in(stdin);
    const QString line = in.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    return line;
}

} // namespace

QString ReadStoredPassword(const QUrl& collection, const QString& user)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(keyOf(collection, user));
    finish(job);
    return job.error() == QKeychain::NoError ? job.textData() : QString();
}

void AskAndStorePassword(const QUrl& collection, const QString& user)
{
    std::fprintf(stderr, "Password for %s at %s: ", user.toLocal8Bit().constData(),
                 collection.toDisplayString().toLocal8Bit().constData());
    std::fflush(stderr);
    const QString password = readHidden();
    if (password.isEmpty())
        throw SyncError("no password was given; nothing was stored");
    QKeychain::WritePasswordJob job(kService);
    job.setKey(keyOf(collection, user));
    job.setTextData(password);
    finish(job);
    if (job.error() != QKeychain::NoError)
        throw SyncError(
            QStringLiteral("the Secret Service did not store the password: %1").arg(job.errorString()).toStdString());
}
