#include "console.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

QString outputFailure(int error)
{
    return QStringLiteral("Cannot write to standard output: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

QString OneLine(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

void WriteAll(std::FILE* out, const QByteArray& bytes)
{
    if (!out)
        throw std::runtime_error("Cannot write to standard output: it is closed.");
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out) != std::size_t(bytes.size()) ||
        std::fflush(out) != 0) {
        const int error = errno ? errno : EIO;
        std::clearerr(out);
        throw std::runtime_error(outputFailure(error).toStdString());
    }
}

void WriteMessage(std::FILE* err, const char* program, const QString& message)
{
    if (!err)
        return;
    const QByteArray line = QByteArray(program) + ": " + OneLine(message).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), err);
    std::fflush(err);
}

StandardStreams OpenStandardStreams()
{
    bool closed[3] = {};
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            closed[fd] = true;
            // The lowest free number is fd itself, the lower ones being open by now.
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
    return {closed[0] ? nullptr : stdin, closed[1] ? nullptr : stdout, closed[2] ? nullptr : stderr};
}

int CloseOutput(int status, std::FILE* out, std::FILE* err, const char* program)
{
    if (!out)
        return status;
    errno = 0;
    if (std::fclose(out) != 0 && status != 2) {
        WriteMessage(err, program, outputFailure(errno ? errno : EIO));
        return 2;
    }
    return status;
}

QByteArray VersionLine(const char* program)
{
    return QByteArray(program) + ' ' + QUILLMOOR_VERSION + '\n';
}
