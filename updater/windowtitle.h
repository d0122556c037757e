#pragma once

#include <QLocale>
#include <QString>

// The updater's window title for a product id and the system language.
QString windowTitleFor(int productId, QLocale::Language language);
