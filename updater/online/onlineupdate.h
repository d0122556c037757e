#pragma once
// The online check's transfers, without the window: version files and images between the
// update server and the local cache folder.

#include "updateserver.h"

#include <QString>
#include <QStringList>

class OnlineUpdate
{
public:
    // cacheFolder: the program's folder + "/file/".
    OnlineUpdate(const UpdateServer &server, const QString &cacheFolder);

    const UpdateServer &Server() const { return server; }
    const QString &CacheFolder() const { return cacheFolder; }

    // Fetches a version file by URL into cacheFolder + serverPath, reads cacheFolder +
    // savePath and deletes it. 0 with `lines` set; -1 when nothing was fetched, the file is
    // empty or its first line is not a plain version number.
    int LoadVersionFile(const QString &serverPath, const QString &savePath,
                        QStringList &lines) const;

    // Fetches model/version.bin by URL into the cache. *imagePath is set to where the image
    // belongs. 0 on success, libcurl's code on failure, -1 when nothing usable was fetched
    // or the version is not a plain number.
    int FetchImageByUrl(const QString &model, const QString &version, QString *imagePath) const;

    enum class FtpResult
    {
        Missing,
        Done,
        Failed
    };
    // FtpClient download of serverName into localFolder + "/" + serverName: SIZE, then RETR.
    FtpResult FetchByFtp(const QString &serverName, const QString &localFolder) const;

private:
    UpdateServer server;
    QString cacheFolder;
};
