#pragma once
// A real FTP server on loopback (pyftpdlib under Debian's python3), serving a temporary
// folder the test fills. User "ftp", password "kwx", full rights.

#include "updateserver.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class FtpServerFixture
{
public:
    FtpServerFixture();
    ~FtpServerFixture();

    // Starts the server on a free port. False (with the reason) when it cannot run.
    bool start(QString *error);
    void stop();

    QString root() const { return folder.path(); }
    quint16 port() const { return serverPort; }
    // Server address with short time-outs, for tests.
    UpdateServer server() const;

    // Writes a file below the served folder, making its folders.
    bool put(const QString &relativePath, const QByteArray &content) const;
    QByteArray served(const QString &relativePath) const;

private:
    QTemporaryDir folder;
    QProcess process;
    quint16 serverPort = 0;
};

// A loopback port with nothing listening on it.
quint16 ClosedPort();
