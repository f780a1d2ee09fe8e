#include "safe_open.h"

#include "event_store.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SQLite's unix layer calls open() through a table that a program may change; the
// replacement sees every file SQLite opens (database, journal, temporary files, the folder
// it syncs, its sources of randomness) and checks the very descriptor SQLite then uses, so
// nothing can be swapped in between. A shim VFS could only look at the path before the
// unix layer opens it again.
using OpenCall = int (*)(const char*, int, int);
using StatCall = int (*)(const char*, struct stat*);
OpenCall g_open = nullptr;
StatCall g_stat = nullptr;

bool allowedDevice(const char* path)
{
    return std::strcmp(path, "/dev/urandom") == 0 || std::strcmp(path, "/dev/null") == 0;
}

int openSafely(const char* path, int flags, int mode)
{
    // Non-blocking, so that a FIFO cannot hold the open until a writer comes.
    const int fd = g_open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0)
        return fd;
    struct stat info = {};
    const bool usable = ::fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode) ||
                                                    (S_ISCHR(info.st_mode) && allowedDevice(path)));
    const int status = usable ? ::fcntl(fd, F_GETFL) : -1;
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == -1) {
        ::close(fd);
        errno = ENXIO;
        return -1;
    }
    return fd;
}

// The program keeps a rollback journal and never a write-ahead log; yet SQLite takes up a
// "-wal" file it finds beside a database, even one another user left there for this user to
// fail on. So such a file beside a file of its name goes unseen. (A database whose header
// asks for the log still gets it.)
int statHidingLogs(const char* path, struct stat* info)
{
    constexpr std::string_view kLog = "-wal";
    const std::string_view name(path);
    struct stat database = {};
    if (name.size() > kLog.size() && name.substr(name.size() - kLog.size()) == kLog &&
        g_stat(std::string(name.substr(0, name.size() - kLog.size())).c_str(), &database) == 0 &&
        S_ISREG(database.st_mode)) {
        errno = ENOENT;
        return -1;
    }
    return g_stat(path, info);
}

QString userName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user && user->pw_name ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("user %1").arg(uid);
}

[[noreturn]] void refuse(const QString& message)
{
    throw StoreError(message.toStdString());
}

} // namespace

void InstallSafeOpen()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
        if (!vfs || vfs->iVersion < 3 || !vfs->xGetSystemCall || !vfs->xSetSystemCall)
            throw StoreError("SQLite's file layer cannot be guarded: its open cannot be replaced.");
        g_open = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
        g_stat = reinterpret_cast<StatCall>(vfs->xGetSystemCall(vfs, "stat"));
        if (!g_open || !g_stat ||
            vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(openSafely)) != SQLITE_OK ||
            vfs->xSetSystemCall(vfs, "stat", reinterpret_cast<sqlite3_syscall_ptr>(statHidingLogs)) != SQLITE_OK)
            throw StoreError("SQLite's file layer cannot be guarded: its open cannot be replaced.");
    });
}

void CheckJournal(const QString& databaseFile)
{
    const QFileInfo database(databaseFile);
    const QByteArray folderName = QFile::encodeName(database.absolutePath());
    const QByteArray journalName = QFile::encodeName(databaseFile + QStringLiteral("-journal"));
    const QString journal = QFile::decodeName(journalName);
    struct stat folder = {};
    struct stat file = {};
    if (::lstat(QFile::encodeName(databaseFile).constData(), &file) != 0 || !S_ISREG(file.st_mode) ||
        ::stat(folderName.constData(), &folder) != 0)
        return;
    // Only in a sticky folder can a journal stay that its user may neither replace nor mend,
    // and only a database others may write is shared with them.
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (file.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const QString mend = shared ? QStringLiteral("ask the administrator to run \"%1\"").arg(QLatin1String(kMendCommand))
                                : QStringLiteral("remove it");
    if (::lstat(journalName.constData(), &file) != 0) {
        if (errno == ENOENT && shared && folder.st_uid != ::geteuid())
            refuse(QStringLiteral("The event database's journal %1 is missing, and the first user to save would own "
                                  "it and could lock out the others; %2.")
                       .arg(journal, mend));
        return;
    }
    if (!S_ISREG(file.st_mode))
        refuse(QStringLiteral("The event database's journal %1 is not a regular file, so no event can be saved; %2.")
                   .arg(journal, mend));
    if (!shared)
        return;
    // The folder's owner may still read, and so roll back what a crashed writer left there.
    if (folder.st_uid != ::geteuid() && file.st_uid != folder.st_uid && file.st_uid != ::geteuid())
        refuse(QStringLiteral("The event database's journal %1 is owned by %2, so other users cannot save; %3.")
                   .arg(journal, userName(file.st_uid), mend));
    // A user who may only read the database never writes the journal.
    if (::faccessat(AT_FDCWD, QFile::encodeName(databaseFile).constData(), W_OK, AT_EACCESS) == 0 &&
        ::faccessat(AT_FDCWD, journalName.constData(), R_OK | W_OK, AT_EACCESS) != 0)
        refuse(QStringLiteral("The event database's journal %1 cannot be written by you (mode %2); %3.")
                   .arg(journal)
                   .arg(file.st_mode & 07777, 4, 8, QLatin1Char('0'))
                   .arg(mend));
}
