#include <updater/online/updateserver.h>

UpdateServer UpdateServer::BuildDefault()
{
    UpdateServer server;
    server.host = QStringLiteral(UPDATE_SERVER_HOST);
    server.port = UPDATE_SERVER_PORT;
    return server;
}
