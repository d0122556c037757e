#include "environment.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // HIDLINK_BACKEND=emulator: talk to an emulated device instead of real ones.
    emulator::installFromEnvironment();
    int code;
    {
        MainWindow window;
        window.show();
        // Again now that the window has its size: the ruler places its handles
        // for the width it was laid out to.
        window.onInit();
        code = app.exec();
    }
    return code;
}
