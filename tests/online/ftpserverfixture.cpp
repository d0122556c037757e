#include "ftpserverfixture.h"
#include "fakeftpserver.h"

#include <QDir>

FtpServerFixture::~FtpServerFixture()
{
    process.kill(); // nothing when it never started (under wine)
    process.waitForFinished(5000);
}

bool FtpServerFixture::start(QString *error)
{
    // Under wine a Windows test can neither start nor stop Linux's python: the CI script
    // runs the server on an empty folder of its own and names both here.
    if (qEnvironmentVariableIsSet("RIVET_FTP_PORT")) {
        servedRoot = qEnvironmentVariable("RIVET_FTP_ROOT");
        serverPort = static_cast<quint16>(qEnvironmentVariableIntValue("RIVET_FTP_PORT"));
        if (serverPort == 0 || !QDir(servedRoot).exists()) {
            *error = QStringLiteral("RIVET_FTP_PORT or RIVET_FTP_ROOT names no server");
            return false;
        }
        return true;
    }
    // Debian's interpreter: the first python3 on PATH may not see python3-pyftpdlib.
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-u"), QStringLiteral(FTP_SERVER_SCRIPT), folder.path()});
    if (!process.waitForStarted(5000)) {
        *error = QStringLiteral("/usr/bin/python3 did not start");
        return false;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(10000)) {
            *error = QStringLiteral("pyftpdlib did not start: ") +
                     QString::fromLocal8Bit(process.readAllStandardError());
            return false;
        }
    }
    serverPort = static_cast<quint16>(process.readLine().trimmed().toUInt());
    return serverPort != 0;
}

UpdateServer LoopbackServer(quint16 port, int timeoutMs)
{
    UpdateServer address;
    address.host = QStringLiteral("127.0.0.1");
    address.port = port;
    address.connectTimeoutMs = timeoutMs;
    address.stallTimeoutMs = timeoutMs;
    address.floorWindowMs = timeoutMs;
    return address;
}

quint16 ClosedPort()
{
    // The port of a server that is gone again: free, and refusing connections.
    return FakeFtpServer(FakeFtpOptions()).port();
}
