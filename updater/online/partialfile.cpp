#include "partialfile.h"

#include <QFile>

QString PartialPath(const QString &finalPath)
{
    return finalPath + QStringLiteral(".part");
}

bool CommitPartial(const QString &finalPath)
{
    const QString partial = PartialPath(finalPath);
    if (!QFile::exists(partial))
        return false;
    if (QFile::exists(finalPath) && !QFile::remove(finalPath)) {
        QFile::remove(partial);
        return false;
    }
    if (!QFile::rename(partial, finalPath)) {
        QFile::remove(partial);
        return false;
    }
    return true;
}

void DiscardPartial(const QString &finalPath)
{
    QFile::remove(PartialPath(finalPath));
}
