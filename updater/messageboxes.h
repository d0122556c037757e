#pragma once
// The updater's two forms of message box: a Chinese information box for a Chinese
// system locale, an English warning box for every other one.

#include <QLocale>
#include <QString>

class QWidget;

namespace messageboxes {

// `englishTitle` is "Warning" for errors and "Information" for tips.
void show(QWidget *parent, const QLocale &locale, const QString &englishTitle,
          const QString &chinese, const QString &english);

// The box that ends an update; true when it was closed with its Ok button.
bool completion(const QLocale &locale);

// Asked before the window closes while an update runs; true to close anyway. No is the
// default: a hasty Enter keeps the update going.
bool closeDuringUpdate(QWidget *parent, const QLocale &locale);

} // namespace messageboxes
