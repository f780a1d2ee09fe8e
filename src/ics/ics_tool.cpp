#include "ics_tool.h"

#include "core/tool_frame.h"
#include "import.h"
#include "store/data_folder.h"
#include "store/event_store.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const auto& kProgram = kIcsProgram;
// Far above any real calendar (100,000 events take about 24 MB); the file is read whole.
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;

[[noreturn]] void fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A title or summary short enough to name an event in a message line.
QString named(const QString& text)
{
    constexpr qsizetype kShown = 60;
    const QString line = OneLine(text).trimmed();
    if (line.isEmpty())
        return QStringLiteral("(no summary)");
    return u'"' + (line.size() > kShown ? line.left(kShown) + QChar(0x2026) : line) + u'"';
}

QByteArray readInput(const QString& name, std::FILE* in)
{
    if (name == u"-" && !in)
        fail(QStringLiteral("Cannot read standard input: it is closed."));
    QFile file(name);
    const bool opened = name == u"-" ? file.open(in, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened)
        fail(QStringLiteral("Cannot read %1: %2").arg(name, file.errorString()));
    // Standard input has no size: one byte more than allowed tells that it is too much.
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        fail(QStringLiteral("Cannot read %1: %2").arg(name, file.errorString()));
    if (text.size() > kMaxFileBytes)
        fail(QStringLiteral("%1 is larger than %2 MB; no calendar file is that large.")
                 .arg(name)
                 .arg(kMaxFileBytes / (1024 * 1024)));
    return text;
}

// A FIFO or a device given with -o is written to, as the shell's > would, never replaced by a
// regular file; a FIFO that nobody reads is refused rather than waited on.
void writeToNode(const QString& name, const QByteArray& text)
{
    const int fd = ::open(QFile::encodeName(name).constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fail(errno == ENXIO ? QStringLiteral("Cannot write %1: no program is reading from it.").arg(name)
                            : QStringLiteral("Cannot write %1: %2").arg(name, systemError()));
    const int flags = ::fcntl(fd, F_GETFL);
    qsizetype written = flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ? -1 : 0;
    while (written >= 0 && written < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + written, std::size_t(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        written = n <= 0 ? -1 : written + n;
    }
    const QString failure = written < 0 ? systemError() : QString();
    if (::close(fd) != 0 && failure.isEmpty())
        fail(QStringLiteral("Cannot write %1: %2").arg(name, systemError()));
    if (!failure.isEmpty())
        fail(QStringLiteral("Cannot write %1: %2").arg(name, failure));
}

bool isRegularOrMissing(const QString& name)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(name).constData(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

int runExport(const IcsOptions& options, const AppPaths& paths, const ExportStamp& stamp, std::FILE* out,
              std::FILE* err)
{
    EventStore store;
    store.open(ToolDatabase(options.database, paths, DatabaseUse::Read));
    QStringList omissions;
    const QByteArray text = ExportCalendar(
        store, stamp,
        [&](const EventRecord& event, Omission what, const QString& reason) {
            omissions.append(
                what == Omission::Event
                    ? QStringLiteral("left out event %1 %2: %3").arg(event.id).arg(named(event.title), reason)
                    : QStringLiteral("event %1 %2: warning left out: %3")
                          .arg(event.id)
                          .arg(named(event.title), reason));
        },
        store.allDetails());
    if (options.file.isEmpty() || options.file == u"-") {
        WriteAll(out, text);
    } else if (!isRegularOrMissing(options.file)) {
        writeToNode(options.file, text);
    } else {
        // Written beside the target and renamed over it: a failure leaves the old file.
        QSaveFile file(options.file);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            fail(QStringLiteral("Cannot write %1: %2").arg(options.file, file.errorString()));
    }
    for (const QString& line : omissions)
        WriteMessage(err, kProgram, line);
    return 0;
}

int runImport(const IcsOptions& options, const AppPaths& paths, std::FILE* in, std::FILE* out, std::FILE* err)
{
    // The whole file is read before the database is touched, so a bad file changes nothing.
    ImportedCalendar calendar;
    try {
        calendar = ReadCalendar(readInput(options.file, in));
    } catch (const ICalendarError& e) {
        fail(QStringLiteral("%1: %2").arg(options.file == u"-" ? QStringLiteral("standard input") : options.file,
                                          QString::fromUtf8(e.what())));
    }
    const QString database = ToolDatabase(options.database, paths, DatabaseUse::Prepare);
    EventStore store;
    store.open(database);
    qsizetype stored = 0;
    try {
        stored = store.insertNew(calendar.events);
    } catch (const StoreError& e) {
        fail(QStringLiteral("Nothing was stored in %1: %2").arg(database, QString::fromUtf8(e.what())));
    }

    qsizetype skipped = 0;
    for (const ImportNote& note : calendar.notes) {
        if (note.event) {
            ++skipped;
            WriteMessage(err, kProgram, QStringLiteral("skipped %1: %2").arg(named(note.summary), note.reason));
        } else {
            WriteMessage(err, kProgram, QStringLiteral("%1: %2").arg(named(note.summary), note.reason));
        }
    }
    try {
        WriteAll(out, QStringLiteral("%1 events stored, %2 already there, %3 skipped, in %4\n")
                          .arg(stored)
                          .arg(calendar.events.size() - stored)
                          .arg(skipped)
                          .arg(database)
                          .toUtf8());
    } catch (const std::runtime_error& e) {
        fail(QStringLiteral("%1 events were stored in %2, but: %3")
                 .arg(stored)
                 .arg(database, QString::fromUtf8(e.what())));
    }
    return skipped > 0 ? 1 : 0;
}

} // namespace

IcsOptions ParseIcsArguments(const QStringList& arguments)
{
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("FILE"));
    const ToolCommandLine parser(kProgram, arguments, {output});

    IcsOptions options;
    if (parser.help())
        return options;
    if (parser.version()) {
        options.command = IcsOptions::Command::Version;
        return options;
    }
    options.database = parser.database();
    QStringList rest = parser.positional();
    if (rest.isEmpty())
        throw std::invalid_argument("Give a command: export or import (--help says more).");
    const QString command = rest.takeFirst();
    if (command == u"export") {
        options.command = IcsOptions::Command::Export;
        if (!rest.isEmpty())
            throw std::invalid_argument(QStringLiteral("export takes no file name; write to a file with -o %1.")
                                            .arg(OneLine(rest.first()))
                                            .toStdString());
        options.file = parser.value(output);
        if (parser.isSet(output) && options.file.isEmpty())
            throw std::invalid_argument("The file name after -o is empty.");
    } else if (command == u"import") {
        options.command = IcsOptions::Command::Import;
        if (parser.isSet(output))
            throw std::invalid_argument("-o is for export; import reads the file it is given.");
        if (rest.size() != 1)
            throw std::invalid_argument(rest.isEmpty() ? "Give the iCalendar file to import."
                                                       : "Give one iCalendar file to import at a time.");
        options.file = rest.first();
        if (options.file.isEmpty())
            throw std::invalid_argument("The file name to import is empty.");
    } else {
        throw std::invalid_argument(QStringLiteral("Unknown command \"%1\"; the commands are export and import.")
                                        .arg(OneLine(command))
                                        .toStdString());
    }
    return options;
}

QString IcsUsage()
{
    return QStringLiteral(
        "Usage: quillmoor-ics export [--db FILE] [-o FILE]\n"
        "       quillmoor-ics import [--db FILE] FILE.ics\n"
        "\n"
        "Exchanges Quillmoor's events with other calendars as iCalendar (RFC 5545) files.\n"
        "\n"
        "export  writes each event the calendar's windows made as an all-day event that repeats as\n"
        "        it does in the month view, with a display alarm when \"Warn you of event\" is ticked,\n"
        "        and each event from another calendar back as it came (its UID, times, zone, repeat,\n"
        "        gaps and moved occurrences). An event that can never occur (such as a date that does\n"
        "        not exist) is left out, with a line on standard error.\n"
        "import  stores each event of the file, with its times of day, zones, days, repeats (COUNT,\n"
        "        UNTIL, INTERVAL, several weekdays, BYSETPOS, daily), gaps and moved occurrences.\n"
        "        What the calendar cannot show (a rule libical refuses or one more often than daily,\n"
        "        an unknown zone, no start or title, a start, end or repeat libical cannot read, an\n"
        "        event that never occurs or is cancelled) is skipped with a line on standard error.\n"
        "        An alarm whole days (0 to 9) before an all-day start sets the warning; an alarm\n"
        "        before a timed start goes off at its time (quillmoor-remind). An event equal to one\n"
        "        already stored is not stored again. Either all events are stored, or none.\n"
        "        README's \"Events from other calendars\" says the rest.\n"
        "\n"
        "  --db FILE      the event database; default: the one the calendar uses,\n"
        "                 /var/lib/Quendrix/Quillmoor/dbData.mdb or, where that cannot be used,\n"
        "                 $XDG_DATA_HOME/Quendrix/Quillmoor/dbData.mdb (normally ~/.local/share/...).\n"
        "                 Import prepares that default as the calendar's first start does;\n"
        "                 a FILE given with --db must be an existing event database.\n"
        "  -o, --output FILE  export: the file to write (replaced once complete; a FIFO or a\n"
        "                 device is written to); default or \"-\":\n"
        "                 standard output\n"
        "  FILE.ics       import: the file to read; \"-\" for standard input\n"
        "  -h, --help     show this text\n"
        "  --version      show the name and version\n"
        "\n"
        "Exit status: 0 when done; 1 when an import skipped events (they are named on standard\n"
        "error, the others are stored); 2 for a bad argument, a file that is not iCalendar or is\n"
        "cut short, a database that cannot be read or written, or output that could not be written,\n"
        "with one line on standard error; the database is then unchanged (unless the line says what\n"
        "was stored).\n");
}

int RunIcs(const ToolContext& tool)
{
    return ReportFailure(
        kProgram, tool.err,
        [&] {
            const IcsOptions options = ParseIcsArguments(tool.arguments);
            switch (options.command) {
            case IcsOptions::Command::Help:
            case IcsOptions::Command::Version:
                return AnswerHelpOrVersion(tool.out, kProgram, options.command == IcsOptions::Command::Help,
                                           IcsUsage());
            case IcsOptions::Command::Export:
                return runExport(options, tool.paths, {tool.now, tool.hostName}, tool.out, tool.err);
            case IcsOptions::Command::Import:
                return runImport(options, tool.paths, tool.in, tool.out, tool.err);
            }
            return 2;
        },
        QStringLiteral("There is not enough memory for this; nothing was stored."));
}
