// quillmoor-sync: the calendar's events both ways with a CalDAV collection.
#include "secret_service.h"
#include "sync_tool.h"

#include <QStandardPaths>

int main(int argc, char** argv)
{
    return ToolMain(argc, argv, kSyncProgram, [](const ToolContext& tool) {
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                               QStringLiteral("/Quendrix/sync.conf");
        return RunSync({tool, config, ReadStoredPassword, AskAndStorePassword});
    });
}
