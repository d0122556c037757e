#include <updater/online/ftpthread.h>

#include <updater/online/ftpclient.h>
#include <updater/online/onlinelog.h>

#include <QMutexLocker>
#include <exception>

FtpThread::FtpThread(QObject *parent) : QThread(parent) {}

FtpThread::~FtpThread()
{
    SetRunning(false);
    wait();
}

void FtpThread::SetRunning(bool run)
{
    QMutexLocker lock(&mutex);
    running = run;
    wake.wakeAll();
}

void FtpThread::SetPaths(const QString &name, const QString &folder)
{
    QMutexLocker lock(&mutex);
    serverFileName = name;
    localFolder = folder;
}

void FtpThread::SetServer(const UpdateServer &updateServer)
{
    QMutexLocker lock(&mutex);
    server = updateServer;
}

int FtpThread::FetchOnce(const QString &name, const QString &folder)
{
    if (name.isEmpty() || folder.isEmpty())
        return 0;
    UpdateServer target;
    {
        QMutexLocker lock(&mutex);
        target = server;
    }
    FtpClient client;
    client.SetServer(target.host, target.user, target.password);
    client.SetControlPort(target.port);
    client.SetTimeouts(target.connectTimeoutMs, target.stallTimeoutMs);
    client.SetFloor(target.floorBytesPerSecond, target.floorWindowMs);
    if (client.Login() != 0)
        return -1;
    const std::string serverName = name.toUtf8().toStdString();
    if (client.FileSize(serverName) <= 0)
        return 0;
    return client.Download(serverName, folder.toUtf8().toStdString()) == 1 ? 1 : -1;
}

int FtpThread::FetchOnceCaught(const QString &name, const QString &folder)
{
    // Nothing may leave the thread: Qt would end the program. A failed cycle is retried.
    try {
        return FetchOnce(name, folder);
    } catch (const std::exception &error) {
        qCWarning(lcFtp, "the download failed: %s", error.what());
    } catch (...) {
        qCWarning(lcFtp, "the download failed with an unknown exception");
    }
    return -1;
}

void FtpThread::run()
{
    while (running) {
        QString name;
        QString folder;
        {
            QMutexLocker lock(&mutex);
            name = serverFileName;
            folder = localFolder;
        }
        if (FetchOnceCaught(name, folder) == 1)
            continue;
        QMutexLocker lock(&mutex);
        if (running)
            wake.wait(&mutex, RetryPauseMs);
    }
}
