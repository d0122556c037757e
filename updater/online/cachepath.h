#pragma once
// Local paths built from server-supplied text must stay inside the cache folder.

#include <QString>

// base + "/" + relative, cleaned; empty when the result is base itself or lies outside it.
QString CachePath(const QString &base, const QString &relative);
