#include "own_file.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::optional<QString> problemOf(const QString& path, const struct stat& info)
{
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a regular file (a FIFO, a device or a folder); it is not used.").arg(path);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user; it is not used.").arg(path);
    return std::nullopt;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::optional<QString> OwnFileProblem(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt; // missing, or not reachable: whoever opens it reports that
    return problemOf(path, info);
}

std::optional<QByteArray> ReadOwnFile(const QString& path, qint64 maxBytes)
{
    // Non-blocking, so that a FIFO cannot hold the open; the descriptor is then checked itself.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && errno == ENOENT)
        return std::nullopt;
    if (fd < 0)
        throw std::runtime_error(QStringLiteral("%1 cannot be read (%2).").arg(path, systemError()).toStdString());
    QFile file;
    struct stat info = {};
    std::optional<QString> problem = ::fstat(fd, &info) == 0
                                         ? problemOf(path, info)
                                         : QStringLiteral("%1 cannot be read (%2).").arg(path, systemError());
    if (!problem && info.st_size > maxBytes)
        problem = QStringLiteral("%1 is too large (%2 bytes).").arg(path).arg(info.st_size);
    if (!problem && !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        problem = QStringLiteral("%1 cannot be read (%2).").arg(path, file.errorString());
    if (problem) {
        if (!file.isOpen())
            ::close(fd);
        throw std::runtime_error(problem->toStdString());
    }
    // At most one byte past the limit: a file that grew meanwhile is still refused.
    QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes)
        throw std::runtime_error(QStringLiteral("%1 is too large.").arg(path).toStdString());
    return bytes;
}
