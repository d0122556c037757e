#pragma once
// Downloads are written under a temporary name and moved to their final name only once
// complete, so a file under the final name is always a whole one.

#include <QString>

QString PartialPath(const QString &finalPath);

// Replaces finalPath by its partial file in one step. False on failure, with the partial
// file removed and finalPath as it was.
bool CommitPartial(const QString &finalPath);

void DiscardPartial(const QString &finalPath);
