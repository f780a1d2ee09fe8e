#include "core/paths.h"
#include "core/tool_frame.h"
#include "main_window.h"
#include "ui/qt_prompts.h"
#include "ui/window_kit.h"

#include <QApplication>

#include <cstring>

namespace {

constexpr char kUsage[] = "Usage: quillmoor [Qt options]\n"
                          "\n"
                          "Shows one month of the Quillmoor calendar as a grid of day cells with the holidays and the\n"
                          "titles of the events; its buttons add, list, change and delete events. The events are kept\n"
                          "in /var/lib/Quendrix/Quillmoor/dbData.mdb, shared by every user of the computer.\n"
                          "\n"
                          "  -h, --help  show this text\n"
                          "  --version   show the name and version\n"
                          "\n"
                          "Qt's own options, such as -platform wayland, are accepted. From a shell:\n"
                          "quillmoor-agenda(1), quillmoor-ics(1), quillmoor-sync(1), quillmoor-remind(1).\n";

/// --help and --version answer in the terminal without opening a window (nor needing a
/// display), as the tools do. -1: neither was asked for.
int AnswerInTerminal(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const bool help = !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h");
        if (!help && std::strcmp(argv[i], "--version"))
            continue;
        const StandardStreams streams = OpenStandardStreams();
        const int status = ReportFailure("quillmoor", streams.err, [&] {
            return AnswerHelpOrVersion(streams.out, "quillmoor", help, QString::fromLatin1(kUsage));
        });
        return CloseOutput(status, streams.out, streams.err, "quillmoor");
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int status = AnswerInTerminal(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    // The window's app id on Wayland and in docks: the desktop entry's, so they show its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quillmoor.Quillmoor"));

    SystemClock clock;
    QtPrompts prompts;
    SettingsStore settings;
    const AppPaths paths = InstalledPaths();

    Form1 window({clock, prompts, settings, paths});
    window.Form_Load();
    if (window.endedAtStartup())
        return 0;
    kit::CentreOnScreen(window);
    window.show();
    return app.exec();
}
