#include <appinfo/displayscaling.h>

#include <QGuiApplication>

namespace appinfo {

void enableDisplayScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    // Pictures (the lamps, the close button, the help) drawn at the display's
    // resolution instead of enlarged.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

} // namespace appinfo
