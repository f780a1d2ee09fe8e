#include "data_folder.h"

#include "core/paths.h"
#include "event_store.h"
#include "safe_open.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Under the machine root every user writes events, and SQLite writes its journal beside
// the file, so the data folder is writable by all; sticky, so that only a file's owner
// may delete or replace it, and no other user can put a link in the file's place.
constexpr mode_t kSharedParentMode = 0755;
constexpr mode_t kSharedFolderMode = 01777;
constexpr mode_t kSharedFileMode = 0666;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes `path` a folder. One this run creates gets `mode` whatever the umask, or what the
// umask leaves when there is no mode; an existing folder is left as it is.
bool makeFolder(const QString& path, std::optional<mode_t> mode, bool* created = nullptr)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), mode ? 0700 : 0777) != 0)
        return errno == EEXIST && QFileInfo(path).isDir();
    if (created)
        *created = true;
    return !mode || ::chmod(name.constData(), *mode) == 0;
}

// Creates root/Quendrix/Quillmoor: shared by every user under the machine root, the
// user's own under the user root. A shared folder this run creates stays closed to the
// others (0755) until its files are in place; `created` tells so.
bool makeDataFolder(const QString& root, bool shared, QString& folder, bool* created = nullptr)
{
    const QStringList parts = QString::fromLatin1(kDataSubfolder).split(u'/');
    QString path = root;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path += u'/' + parts[i];
        const bool last = i == parts.size() - 1;
        if (!makeFolder(path, shared ? std::optional(kSharedParentMode) : std::nullopt, last ? created : nullptr))
            return false;
    }
    folder = QDir(path).absolutePath();
    return true;
}

bool usable(const QString& folder)
{
    const QFileInfo live(QDir(folder).filePath(QLatin1String(kLiveFileName)));
    if (live.exists() || live.isSymLink())
        return true; // even a folder or a link in its place: opening it reports that
    return QFileInfo(folder).isWritable();
}

// The first contents of the live file: the template's, or an empty database's without one.
QByteArray firstContents(const QString& templateFile)
{
    if (!QFileInfo::exists(templateFile))
        return EmptyEventDatabase();
    QFile source(templateFile);
    if (!source.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("Cannot read %1: %2").arg(templateFile, source.errorString()).toStdString());
    return source.readAll();
}

// Writes the live file, which this run creates: never through a link and never over a
// file that appeared meanwhile (another copy of the program got there first; its file
// is left alone). Only the file made here gets the shared mode.
void createLiveFile(const QString& liveFile, const QByteArray& contents, bool shared)
{
    const QByteArray name = QFile::encodeName(liveFile);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return;
        throw StoreError(QStringLiteral("Cannot create %1: %2").arg(liveFile, systemError()).toStdString());
    }
    QString failure;
    if (shared && ::fchmod(fd, kSharedFileMode) != 0)
        failure = systemError();
    QFile file;
    if (failure.isEmpty() && (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
                              file.write(contents) != contents.size() || !file.flush()))
        failure = file.errorString();
    file.close();
    ::close(fd);
    if (!failure.isEmpty()) {
        ::unlink(name.constData());
        throw StoreError(QStringLiteral("Cannot write %1: %2").arg(liveFile, failure).toStdString());
    }
}

// SQLite's journal, made by the folder's owner before any user writes: in the sticky folder
// the kernel lets every user open a file there that the folder's owner owns, but one that
// another user made only for that user (fs.protected_regular), and its owner could change
// its mode or put a FIFO in its place. Whatever is already there is left for the open to judge.
void createJournal(const QString& liveFile)
{
    const QByteArray name = QFile::encodeName(liveFile + QStringLiteral("-journal"));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST)
            return;
        throw StoreError(
            QStringLiteral("Cannot create %1: %2").arg(QFile::decodeName(name), systemError()).toStdString());
    }
    const bool shared = ::fchmod(fd, kSharedFileMode) == 0;
    const QString failure = shared ? QString() : systemError();
    ::close(fd);
    if (!shared) {
        ::unlink(name.constData());
        throw StoreError(QStringLiteral("Cannot share %1: %2").arg(QFile::decodeName(name), failure).toStdString());
    }
}

bool ownedByMe(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && info.st_uid == ::geteuid();
}

} // namespace

DataFolder PrepareDataFolder(const QString& machineRoot, const QString& userRoot, const QString& templateFile)
{
    DataFolder data;
    bool shared = true;
    bool created = false;
    if (!makeDataFolder(machineRoot, true, data.folder, &created) || !usable(data.folder)) {
        shared = false;
        QDir().mkpath(userRoot);
        if (!makeDataFolder(userRoot, false, data.folder) || !usable(data.folder))
            throw StoreError(
                QStringLiteral("Cannot create a data folder in %1 or in %2.").arg(machineRoot, userRoot).toStdString());
    }
    data.liveFile = QDir(data.folder).filePath(QLatin1String(kLiveFileName));
    const QFileInfo live(data.liveFile);
    // In another's shared folder this user could make neither file so that the others may write it.
    const bool mine = !shared || ownedByMe(data.folder);
    if (!mine && !live.exists() && !live.isSymLink())
        throw StoreError(QStringLiteral("The shared calendar folder %1 has no event database; ask the administrator "
                                        "to run \"%2\".")
                             .arg(data.folder, QLatin1String(kMendCommand))
                             .toStdString());
    const bool first = !live.exists() && !live.isSymLink();
    try {
        if (first)
            createLiveFile(data.liveFile, firstContents(templateFile), shared);
        if (shared && mine)
            createJournal(data.liveFile);
        if (shared && created && ::chmod(QFile::encodeName(data.folder).constData(), kSharedFolderMode) != 0)
            throw StoreError(QStringLiteral("Cannot share %1: %2").arg(data.folder, systemError()).toStdString());
    } catch (const StoreError&) {
        // A folder this run made is taken back, so that the next run prepares it afresh.
        if (shared && created) {
            QFile::remove(data.liveFile + QStringLiteral("-journal"));
            QFile::remove(data.liveFile);
            QDir().rmdir(data.folder);
        }
        throw;
    }
    return data;
}

QString ToolDatabase(const QString& given, const AppPaths& paths, DatabaseUse use)
{
    if (!given.isEmpty())
        return given;
    if (use == DatabaseUse::Read)
        return DefaultDatabase(paths.machineDataRoot, paths.userDataRoot);
    return PrepareDataFolder(paths.machineDataRoot, paths.userDataRoot, paths.programFile(kTemplateFileName)).liveFile;
}
