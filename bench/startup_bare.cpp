// The start-up benchmark's yardstick: an empty QMainWindow of the updater's size,
// built and started the same way as the updater.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(538, 201);
    window.show();
    return app.exec();
}
