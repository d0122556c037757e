#pragma once
// Which model a device version belongs to, and so which version file it is checked against.

#include <QString>
#include <QStringList>
#include <optional>

struct ModelEntry
{
    QString
        versionFile; // server path, also the local name below the cache, e.g. "VKP3000/VKP3000.txt"
    QString modelFolder; // e.g. "VKP3000"
};

// Every band includes both ends; 0-999 and 7000 upwards belong to no model.
std::optional<ModelEntry> ModelForVersion(int version);

// The model folders made in the cache at start-up, in order. VKP6000 is not among them: it
// is made when it is first needed.
QStringList CacheModelFolders();
