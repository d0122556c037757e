#include <appinfo/displayscaling.h>
#include <appinfo/infooptions.h>
#include <appinfo/logfile.h>
#include <hidlink/platform/hidplatform.h>
#include <i18n/qttranslations.h>
#include <updater/mainwindow.h>
#include <updater/runningcopy.h>
#ifdef RIVET_WITH_EMULATOR
#include <emulator/environment.h>
#endif

#include <QApplication>
#include <algorithm>
#include <iostream>

namespace {

// Another copy of this program runs under the same executable name.
bool anotherInstanceRuns()
{
    const std::string self =
        hidplatform::executableFileName(QCoreApplication::applicationName().toStdString());
    const auto names = hidplatform::runningExecutableNames();
    return std::count(names.begin(), names.end(), self) > 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const auto code = appinfo::answerInfoOption(
            argc, argv, {"updater", "Brings new firmware into the Rivet USB device."}, std::cout))
        return *code;
    appinfo::enableDisplayScaling();
    auto *app = new QApplication(argc, argv);
    if (anotherInstanceRuns()) {
        runningcopy::askToRaise();
        delete app;
        return 0;
    }
    // After the check: a second start that only raises the first writes nothing.
    const appinfo::LogFile log;
    i18n::installQtTranslations(*app);
    Q_INIT_RESOURCE(updater);
#ifdef RIVET_WITH_EMULATOR
    // HIDLINK_BACKEND=emulator: talk to an emulated device instead of real ones.
    hidplatform::Backend &backend = emulator::backendFromEnvironment();
#else
    hidplatform::Backend &backend = hidplatform::nativeBackend();
#endif
    int result = 0;
    {
        updater::MainWindow window(backend);
        runningcopy::raiseOnRequest(&window);
        window.show();
        result = app->exec();
    }
    delete app;
    return result;
}
