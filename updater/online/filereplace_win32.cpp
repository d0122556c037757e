#include <updater/online/filereplace.h>

#include <QDir>
#include <windows.h>

bool replaceFile(const QString &from, const QString &to)
{
    // Wide names: a cache below a user name outside the ANSI code page must work too.
    // MinGW's rename() would fail on an existing target, and a delete before it would
    // lose the old image whenever the move then fails (a scanner holding the new file).
    const QString source = QDir::toNativeSeparators(from);
    const QString target = QDir::toNativeSeparators(to);
    return MoveFileExW(reinterpret_cast<const wchar_t *>(source.utf16()),
                       reinterpret_cast<const wchar_t *>(target.utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
