#include <updater/online/onlineupdate.h>

#include <updater/online/cachepath.h>
#include <updater/online/downloadcheck.h>
#include <updater/online/ftpclient.h>
#include <updater/online/urlfetch.h>
#include <updater/online/versionline.h>

#include <flash/firmwareimage.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

OnlineUpdate::OnlineUpdate(const UpdateServer &updateServer, const QString &cache,
                           TransferControl *transferControl)
    : server(updateServer), cacheFolder(cache), control(transferControl)
{
}

int OnlineUpdate::LoadVersionFile(const QString &serverPath, const QString &savePath,
                                  QStringList &lines) const
{
    // The stored copy's folder is made first: a model's folder ("VKP6000") appears when a
    // device of that model first asks, and the user's cache has no folders until then.
    const QString stored = CachePath(cacheFolder, serverPath);
    const QString local = CachePath(cacheFolder, savePath);
    if (stored.isEmpty() || local.isEmpty())
        return -1;
    QDir().mkpath(QFileInfo(stored).path());
    // Only what this fetch brings may be read: never a copy left by an earlier run.
    QFile::remove(local);

    UrlFetch(server).Fetch(serverPath, cacheFolder, MaxTextFileBytes, control);

    QStringList fetched;
    if (ReadTextLines(local, fetched) == -1)
        return -1;
    QFile::remove(local);
    if (fetched.isEmpty() || !IsPlainVersion(fetched.first()))
        return -1;
    lines = fetched;
    return 0;
}

int OnlineUpdate::FetchImageByUrl(const QString &model, const QString &version,
                                  QString *imagePath) const
{
    const QString serverPath = ImageServerPath(model, version);
    *imagePath = CachePath(cacheFolder, serverPath);
    if (!IsPlainVersion(version) || imagePath->isEmpty())
        return -1;
    const int result =
        UrlFetch(server).Fetch(serverPath, cacheFolder, firmware::MaxFileSize, control);
    // An empty server file transfers without error but leaves no image.
    if (result == 0 && !QFile::exists(*imagePath))
        return -1;
    return result;
}

int OnlineUpdate::FetchSignature(const QString &model, const QString &version) const
{
    const QString serverPath = downloadcheck::signatureServerPath(ImageServerPath(model, version));
    const QString local = CachePath(cacheFolder, serverPath);
    if (!IsPlainVersion(version) || local.isEmpty())
        return -1;
    QFile::remove(local);
    return UrlFetch(server).Fetch(serverPath, cacheFolder, MaxTextFileBytes, control);
}

OnlineUpdate::FtpResult OnlineUpdate::FetchByFtp(const QString &serverName,
                                                 const QString &localFolder) const
{
    if (CachePath(localFolder, serverName).isEmpty())
        return FtpResult::Failed;
    FtpClient client;
    client.SetServer(server.host, server.user, server.password);
    client.SetControlPort(server.port);
    client.SetTimeouts(server.connectTimeoutMs, server.stallTimeoutMs);
    client.SetFloor(server.floorBytesPerSecond, server.floorWindowMs);
    client.SetControl(control);
    client.Login();
    const std::string name = serverName.toUtf8().toStdString();
    if (client.FileSize(name) <= 0)
        return FtpResult::Missing;
    const int result = client.Download(name, localFolder.toUtf8().toStdString());
    return result == 1 ? FtpResult::Done : FtpResult::Failed;
}
