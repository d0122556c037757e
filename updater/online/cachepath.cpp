#include "cachepath.h"

#include <QDir>

QString CachePath(const QString &base, const QString &relative)
{
    const QString root = QDir::cleanPath(base);
    const QString path = QDir::cleanPath(root + QLatin1Char('/') + relative);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || !path.startsWith(prefix) || path.size() == prefix.size())
        return QString();
    return path;
}
