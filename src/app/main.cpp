#include "main_window.h"
#include "settings/qt_prompts.h"

#include <QApplication>
#include <QScreen>
#include <QStandardPaths>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);

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
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.center() - window.rect().center());
    window.show();
    return app.exec();
}
