#pragma once
// Where the online update fetches from. The address is fixed when the program is built;
// tests point a copy at a server of their own.

#include <QString>

struct UpdateServer
{
    static constexpr int DefaultConnectTimeoutMs = 5000;
    // Longest silence of the server, on the control or the data connection.
    static constexpr int DefaultStallTimeoutMs = 20000;

    QString host;
    quint16 port = 21;
    QString user = QStringLiteral("ftp");
    QString password = QStringLiteral("kwx");
    int connectTimeoutMs = DefaultConnectTimeoutMs;
    int stallTimeoutMs = DefaultStallTimeoutMs;

    // The build's server: UPDATE_SERVER_HOST and UPDATE_SERVER_PORT.
    static UpdateServer BuildDefault();
};
