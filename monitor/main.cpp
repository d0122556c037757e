#include <appinfo/infooptions.h>
#include <monitor/mainwindow.h>
#ifdef RIVET_WITH_EMULATOR
#include <emulator/environment.h>
#endif

#include <QApplication>
#include <iostream>

int main(int argc, char *argv[])
{
    if (const auto code = appinfo::answerInfoOption(
            argc, argv,
            {"monitor", "Shows the Rivet USB device's status live and edits its values."},
            std::cout))
        return *code;
    QApplication app(argc, argv);
#ifdef RIVET_WITH_EMULATOR
    // HIDLINK_BACKEND=emulator: talk to an emulated device instead of real ones.
    emulator::installFromEnvironment();
#endif
    int code;
    {
        monitor::MainWindow window;
        window.show();
        // Again now that the window has its size: the ruler places its handles
        // for the width it was laid out to.
        window.onInit();
        code = app.exec();
    }
    return code;
}
