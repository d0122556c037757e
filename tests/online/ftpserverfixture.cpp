#include "ftpserverfixture.h"
#include "fakeftpserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const char Script[] = R"(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user("ftp", "kwx", sys.argv[1], perm="elradfmwMT")
handler = FTPHandler
handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), handler)
print(server.address[1], flush=True)
server.serve_forever()
)";
} // namespace

FtpServerFixture::~FtpServerFixture()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool FtpServerFixture::start(QString *error)
{
    // Debian's interpreter: the first python3 on PATH may not see python3-pyftpdlib.
    process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-u"), QStringLiteral("-c"),
                                                       QString::fromLatin1(Script), folder.path()});
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

bool FtpServerFixture::put(const QString &relativePath, const QByteArray &content) const
{
    return writeFile(folder.filePath(relativePath), content);
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
