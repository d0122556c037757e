#pragma once
// Local paths built from server-supplied text must stay inside the cache folder.

#include <QString>

// base + "/" + relative, cleaned; empty when the result is base itself or lies outside it.
QString CachePath(const QString &base, const QString &relative);

// Where the download cache lives: programFolder + "/file" when the program may write there
// (existing set-ups keep their cache), else the same name below userFolder (the per-user
// application data folder), which is made when the first download needs it.
QString CacheRoot(const QString &programFolder, const QString &userFolder);
