#include "tool_frame.h"

#include "clock.h"

#include <QCoreApplication>
#include <QSysInfo>

#include <new>
#include <stdexcept>

namespace {

const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");
const QString kDatabase = QStringLiteral("db");

} // namespace

ToolCommandLine::ToolCommandLine(const char* program, const QStringList& arguments,
                                 const QList<QCommandLineOption>& own)
{
    m_parser.addOptions({QCommandLineOption({QStringLiteral("h"), kHelp}, QString()),
                         QCommandLineOption(kVersion, QString()),
                         QCommandLineOption(kDatabase, QString(), QStringLiteral("FILE"))});
    m_parser.addOptions(own);
    if (!m_parser.parse(QStringList{QString::fromLatin1(program)} + arguments))
        throw std::invalid_argument(OneLine(m_parser.errorText()).toStdString());
}

bool ToolCommandLine::help() const
{
    return m_parser.isSet(kHelp);
}

bool ToolCommandLine::version() const
{
    return m_parser.isSet(kVersion);
}

QString ToolCommandLine::database() const
{
    const QString file = m_parser.value(kDatabase);
    if (m_parser.isSet(kDatabase) && file.isEmpty())
        throw std::invalid_argument("The database file name after --db is empty.");
    return file;
}

int AnswerHelpOrVersion(std::FILE* out, const char* program, bool help, const QString& usage)
{
    WriteAll(out, help ? usage.toUtf8() : VersionLine(program));
    return 0;
}

int ReportFailure(const char* program, std::FILE* err, const std::function<int()>& work, const QString& outOfMemory)
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        WriteMessage(err, program,
                     outOfMemory.isEmpty() ? QStringLiteral("There is not enough memory for this.") : outOfMemory);
    } catch (const std::exception& e) {
        WriteMessage(err, program, QString::fromUtf8(e.what()));
    }
    return 2;
}

QString HostName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

int ToolMain(int argc, char** argv, const char* program, const std::function<int(const ToolContext&)>& run)
{
    // Before anything opens a file, so that none takes the number of a closed stream.
    const StandardStreams streams = OpenStandardStreams();
    QCoreApplication app(argc, argv);
    const SystemClock clock;
    const ToolContext tool{QCoreApplication::arguments().mid(1),
                           InstalledPaths(),
                           &clock,
                           QDateTime::currentDateTimeUtc(),
                           HostName(),
                           streams.in,
                           streams.out,
                           streams.err};
    const int status = ReportFailure(program, streams.err, [&] { return run(tool); });
    return CloseOutput(status, streams.out, streams.err, program);
}
