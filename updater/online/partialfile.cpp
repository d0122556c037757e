#include <updater/online/partialfile.h>

#include <updater/online/filereplace.h>
#include <updater/online/onlinelog.h>

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
    // One step or nothing: a failed replacement keeps the older image, never neither.
    if (replaceFile(partial, finalPath))
        return true;
    qCWarning(lcFtp, "could not put %s in the place of the older copy", qUtf8Printable(partial));
    QFile::remove(partial);
    return false;
}

void DiscardPartial(const QString &finalPath)
{
    QFile::remove(PartialPath(finalPath));
}
