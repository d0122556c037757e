#pragma once
// Where the online update fetches from. The address is fixed when the program is built;
// tests point a copy at a server of their own.

#include <QString>

struct UpdateServer
{
    static constexpr int DefaultConnectTimeoutMs = 5000;
    // Longest silence of the server, on the control or the data connection.
    static constexpr int DefaultStallTimeoutMs = 20000;
    // A transfer that averages less than this over a window fails like a silent server:
    // a 1 byte/s trickle would otherwise hold the check for as long as the file lasts. 64
    // bytes/s over 15 s is far below any working link and ends a trickle well within a minute.
    static constexpr int DefaultFloorBytesPerSecond = 64;
    static constexpr int DefaultFloorWindowMs = 15000;

    QString host;
    quint16 port = 21;
    QString user = QStringLiteral("ftp");
    QString password = QStringLiteral("kwx");
    int connectTimeoutMs = DefaultConnectTimeoutMs;
    int stallTimeoutMs = DefaultStallTimeoutMs;
    int floorBytesPerSecond = DefaultFloorBytesPerSecond;
    int floorWindowMs = DefaultFloorWindowMs;

    // The build's server: UPDATE_SERVER_HOST and UPDATE_SERVER_PORT.
    static UpdateServer BuildDefault();
};
