// quillmoor-remind: the per-user agent that turns the events' warnings into desktop notifications.
#include "core/clock.h"
#include "core/console.h"
#include "remind_agent.h"
#include "sent_log.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QStandardPaths>

int main(int argc, char** argv)
{
    const StandardStreams streams = OpenStandardStreams();
    QCoreApplication app(argc, argv);
    const SystemClock clock;
    // The calendar beside this program's real file (the build's bin/, or /usr/lib/quillmoor).
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/quillmoor");
    ProcessLauncher launcher(QFileInfo(beside).isExecutable() ? beside : QStringLiteral("quillmoor"));
    const int status = RunRemind(QCoreApplication::arguments().mid(1), clock, QStringLiteral("/var/lib"),
                                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation), StateHome(),
                                 QDBusConnection::sessionBus(), launcher, streams.out, streams.err);
    return CloseOutput(status, streams.out, streams.err, "quillmoor-remind");
}
