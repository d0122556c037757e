// fwtool: makes and inspects firmware files with the updater's own parsing and checks.
// `fwtool --help` tells how.

#include <fwtool/commandline.h>
#include <i18n/qttranslations.h>
#include <rivet/version.h>

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fwtool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RIVET_VERSION));
    i18n::installQtTranslations(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return fwtool::run(app.arguments(), out, err);
}
