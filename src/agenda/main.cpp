// quillmoor-agenda: one month's events as text, from the same rule the calendar draws with.
#include "agenda.h"
#include "core/clock.h"

#include <QCoreApplication>
#include <QStandardPaths>

int main(int argc, char** argv)
{
    const StandardStreams streams = OpenStandardStreams();
    QCoreApplication app(argc, argv);
    const SystemClock clock;
    const int status =
        RunAgenda(QCoreApplication::arguments().mid(1), clock, QStringLiteral("/var/lib"),
                  QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), streams.out, streams.err);
    return CloseOutput(status, streams.out, streams.err, "quillmoor-agenda");
}
