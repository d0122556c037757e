#include <appinfo/displayscaling.h>
#include <appinfo/infooptions.h>
#include <appinfo/logfile.h>
#include <i18n/qttranslations.h>
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
    appinfo::enableDisplayScaling();
    QApplication app(argc, argv);
    const appinfo::LogFile log;
    i18n::installQtTranslations(app);
#ifdef RIVET_WITH_EMULATOR
    // HIDLINK_BACKEND=emulator: talk to an emulated device instead of real ones.
    hidplatform::Backend &backend = emulator::backendFromEnvironment();
#else
    hidplatform::Backend &backend = hidplatform::nativeBackend();
#endif
    int code;
    {
        monitor::MainWindow window(backend);
        window.show();
        // Again now that the window has its size: the ruler places its handles
        // for the width it was laid out to.
        window.onInit();
        code = app.exec();
    }
    return code;
}
