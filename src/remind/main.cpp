// quillmoor-remind: the per-user agent that turns the events' warnings into desktop notifications.
#include "remind_agent.h"
#include "sent_log.h"

#include <QDBusConnection>
#include <QFileInfo>

int main(int argc, char** argv)
{
    return ToolMain(argc, argv, kRemindProgram, [](const ToolContext& tool) {
        // The calendar beside this program's real file (the build's bin/, or /usr/lib/quillmoor).
        const QString beside = tool.paths.programFolder + QStringLiteral("/quillmoor");
        ProcessLauncher launcher(QFileInfo(beside).isExecutable() ? beside : QStringLiteral("quillmoor"));
        return RunRemind({tool, StateHome(), QDBusConnection::sessionBus(), &launcher});
    });
}
