#include <updater/online/partialfile.h>

#include <QFile>
#include <cstdio>

QString PartialPath(const QString &finalPath)
{
    return finalPath + QStringLiteral(".part");
}

bool CommitPartial(const QString &finalPath)
{
    const QString partial = PartialPath(finalPath);
    if (!QFile::exists(partial))
        return false;
    // One step where the system allows it (POSIX rename replaces): the image is never
    // missing, not even for a moment, while a newer copy takes its place.
    if (std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(finalPath).constData()) == 0)
        return true;
    if (QFile::exists(finalPath))
        QFile::remove(finalPath);
    if (QFile::rename(partial, finalPath))
        return true;
    QFile::remove(partial);
    return false;
}

void DiscardPartial(const QString &finalPath)
{
    QFile::remove(PartialPath(finalPath));
}
