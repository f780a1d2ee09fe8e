#include "main_window.h"
#include "ui/qt_prompts.h"
#include "ui/window_kit.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The window's app id on Wayland and in docks: the desktop entry's, so they show its name and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quillmoor.Quillmoor"));

    SystemClock clock;
    QtPrompts prompts;
    SettingsStore settings;
    const AppPaths paths{
        QCoreApplication::applicationDirPath(),
        QStringLiteral("/var/lib"),
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
    };

    Form1 window({clock, prompts, settings, paths});
    window.Form_Load();
    if (window.endedAtStartup())
        return 0;
    kit::CentreOnScreen(window);
    window.show();
    return app.exec();
}
