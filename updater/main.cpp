#include "environment.h"
#include "hidplatform.h"
#include "mainwindow.h"

#include <QApplication>
#include <algorithm>

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
    auto *app = new QApplication(argc, argv);
    if (anotherInstanceRuns()) {
        delete app;
        return 0;
    }
    Q_INIT_RESOURCE(updater);
    emulator::installFromEnvironment();
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app->exec();
    }
    delete app;
    return result;
}
