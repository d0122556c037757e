#pragma once
// A real FTP server on loopback (ftpserver.py: pyftpdlib under Debian's python3), serving
// a temporary folder the test fills. User "ftp", password "kwx", full rights.

#include "testsupport.h"
#include <updater/online/updateserver.h>

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// 127.0.0.1:port with short time-outs and a short throughput floor window, for tests.
UpdateServer LoopbackServer(quint16 port, int timeoutMs = 5000);
// A loopback port with nothing listening on it.
quint16 ClosedPort();

class FtpServerFixture
{
public:
    ~FtpServerFixture();

    // Starts the server on a free port. False (with the reason) when it cannot run.
    bool start(QString *error);

    QString root() const { return servedRoot; }
    quint16 port() const { return serverPort; }
    UpdateServer server() const { return LoopbackServer(serverPort); }

    // Writes a file below the served folder, making its folders.
    bool put(const QString &relativePath, const QByteArray &content) const
    {
        return writeFile(QDir(servedRoot).filePath(relativePath), content);
    }

private:
    QTemporaryDir folder;
    QString servedRoot = folder.path();
    QProcess process;
    quint16 serverPort = 0;
};
