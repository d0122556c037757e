#pragma once
// The online check's transfers, without the window: version files and images between the
// update server and the local cache folder.

#include <updater/online/updateserver.h>

#include <QString>
#include <QStringList>

struct TransferControl;

class OnlineUpdate
{
public:
    // Of the version file only the first line counts; a signature file is a few lines too.
    // A server that sends more is not believed.
    static constexpr long long MaxTextFileBytes = 4 * 1024;

    // cacheFolder: the cache root + "/". With a control, every transfer can be cancelled
    // through it and reports its progress to it.
    OnlineUpdate(const UpdateServer &server, const QString &cacheFolder,
                 TransferControl *control = nullptr);

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

    // Fetches the signature file beside model/version.bin into the cache, after removing
    // any earlier copy: only what this fetch brings may be checked. 0 on success.
    int FetchSignature(const QString &model, const QString &version) const;

    // -1 is failure here as for every transfer the window runs.
    enum class FtpResult
    {
        Failed = -1,
        Missing,
        Done
    };
    // FtpClient download of serverName into localFolder + "/" + serverName: SIZE, then RETR.
    FtpResult FetchByFtp(const QString &serverName, const QString &localFolder) const;

private:
    UpdateServer server;
    QString cacheFolder;
    TransferControl *control;
};
