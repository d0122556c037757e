#include <updater/online/cachepath.h>

#include <QDir>
#include <QTemporaryFile>

QString CachePath(const QString &base, const QString &relative)
{
    const QString root = QDir::cleanPath(base);
    const QString path = QDir::cleanPath(root + QLatin1Char('/') + relative);
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    if (root.isEmpty() || !path.startsWith(prefix) || path.size() == prefix.size())
        return QString();
    return path;
}

QString CacheRoot(const QString &programFolder, const QString &userFolder)
{
    const QString beside = programFolder + QStringLiteral("/file");
    // A real write, not the permission bits: those say nothing for root, nor for the
    // access lists of Windows' program folders.
    if (QDir().mkpath(beside)) {
        QTemporaryFile probe(beside + QStringLiteral("/.probe-XXXXXX"));
        if (probe.open())
            return beside;
    }
    // Without a home folder the program's folder is all there is.
    return userFolder.isEmpty() ? beside : userFolder + QStringLiteral("/file");
}
