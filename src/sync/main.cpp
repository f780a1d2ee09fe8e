// quillmoor-sync: the calendar's events both ways with a CalDAV collection.
#include "secret_service.h"
#include "sync_tool.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStandardPaths>
#include <QSysInfo>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SyncEnvironment env;
    env.paths = {QCoreApplication::applicationDirPath(), QStringLiteral("/var/lib"),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)};
    env.configFile =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Quendrix/sync.conf");
    env.now = QDateTime::currentDateTimeUtc();
    env.uidDomain = QSysInfo::machineHostName();
    if (env.uidDomain.isEmpty())
        env.uidDomain = QStringLiteral("localhost");
    env.readSecret = ReadStoredPassword;
    env.storeSecret = AskAndStorePassword;
    return RunSync(QCoreApplication::arguments().mid(1), env, stdout, stderr);
}
