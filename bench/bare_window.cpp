// The floor under the program's start-up: an empty Qt window of the main window's size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare"));
    window.setFixedSize(968, 641);
    window.show();
    return app.exec();
}
