#pragma once
// Repeats one FtpClient download on a thread of its own while its run flag is set.

#include <updater/online/updateserver.h>

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>
#include <atomic>

class FtpThread : public QThread
{
public:
    // Pause after a cycle that fetched nothing, so a server that is down is not hammered.
    static constexpr int RetryPauseMs = 1000;

    explicit FtpThread(QObject *parent = nullptr);
    // Clears the run flag and waits for the current cycle to end.
    ~FtpThread() override;

    void SetRunning(bool running);
    void SetPaths(const QString &serverFileName, const QString &localFolder);
    void SetServer(const UpdateServer &server);

    // One login, SIZE and RETR cycle: 1 downloaded, 0 nothing to fetch (no paths, or no
    // positive size on the server), -1 failed.
    int FetchOnce(const QString &serverFileName, const QString &localFolder);

protected:
    void run() override;

private:
    // FetchOnce, with an exception counted as a failed cycle.
    int FetchOnceCaught(const QString &serverFileName, const QString &localFolder);

    std::atomic<bool> running{true};
    mutable QMutex mutex; // guards the paths, the server and the pause
    QWaitCondition wake;
    QString serverFileName;
    QString localFolder;
    UpdateServer server = UpdateServer::BuildDefault();
};
