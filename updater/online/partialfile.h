#pragma once
// Downloads are written under a temporary name and moved to their final name only once
// complete, so a file under the final name is always a whole one.

#include <QString>

QString PartialPath(const QString &finalPath);

// Replaces finalPath by its partial file. False (and the partial file removed) on failure.
bool CommitPartial(const QString &finalPath);

void DiscardPartial(const QString &finalPath);
