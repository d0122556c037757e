#pragma once
// Puts one file in the place of another in a single step of the file system: at every
// moment the target is either the old file or the new one, never missing.

#include <QString>

// Moves `from` over `to`, replacing it. False when the system refused; then both files are
// as they were.
bool replaceFile(const QString &from, const QString &to);
