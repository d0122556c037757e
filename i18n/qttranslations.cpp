#include <i18n/qttranslations.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#ifdef RIVET_QT_TRANSLATIONS_BUILT_IN
// Outside any namespace, as the resource's init function is.
static void initResources()
{
    Q_INIT_RESOURCE(qttranslations);
}
#endif

namespace i18n {

bool installQtTranslations(QCoreApplication &app, const QLocale &locale)
{
    QStringList folders;
#ifdef RIVET_QT_TRANSLATIONS_BUILT_IN
    initResources();
    folders << QStringLiteral(":/qt-translations");
#endif
    folders << QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(&app);
    for (const QString &folder : folders) {
        if (translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder))
            return app.installTranslator(translator);
    }
    delete translator;
    return false;
}

} // namespace i18n
