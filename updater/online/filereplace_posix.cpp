#include <updater/online/filereplace.h>

#include <QFile>
#include <cstdio>

bool replaceFile(const QString &from, const QString &to)
{
    // rename(2) replaces atomically; the names in the file system's own encoding.
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
