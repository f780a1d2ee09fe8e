// quillmoor-ics: the calendar's events out to and in from iCalendar files.
#include "core/console.h"
#include "ics_tool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStandardPaths>
#include <QSysInfo>

int main(int argc, char** argv)
{
    const StandardStreams streams = OpenStandardStreams();
    QCoreApplication app(argc, argv);
    const AppPaths paths{QCoreApplication::applicationDirPath(), QStringLiteral("/var/lib"),
                         QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    const ExportStamp stamp{QDateTime::currentDateTimeUtc(), host};
    const int status = RunIcs(QCoreApplication::arguments().mid(1), paths, stamp, streams.in, streams.out, streams.err);
    return CloseOutput(status, streams.out, streams.err, "quillmoor-ics");
}
