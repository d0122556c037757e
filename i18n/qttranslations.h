#pragma once
// Qt's own texts (the file dialog, the standard buttons of message boxes, the command
// line's help options) in the user's language; our own texts choose their language
// themselves and are not touched.

#include <QLocale>

class QCoreApplication;

namespace i18n {

// Installs Qt's translation for `locale` into `app`: from the program's resources
// where they are built in (Windows), else from Qt's translations folder. False when
// there is none for that language (English needs none).
bool installQtTranslations(QCoreApplication &app, const QLocale &locale = QLocale());

} // namespace i18n
