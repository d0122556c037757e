// Linux and other systems with local sockets: the first copy listens on a name of the
// user's and of this executable's own; a later start connects and asks.
#include <updater/runningcopy.h>

#include <hidlink/platform/hidplatform.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QWidget>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "rivet.instance")

namespace runningcopy {

namespace {

constexpr int AnswerMs = 2000;

// A copy under another executable name is another program, as for the single-instance rule.
QString channelName()
{
    const std::string executable =
        hidplatform::executableFileName(QCoreApplication::applicationName().toStdString());
    return QStringLiteral("rivet-%1-%2").arg(QString::fromStdString(executable)).arg(getuid());
}

} // namespace

void raiseOnRequest(QWidget *window)
{
    auto *server = new QLocalServer(window);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A name left behind by a copy that crashed would refuse the listen.
    QLocalServer::removeServer(channelName());
    if (!server->listen(channelName())) {
        qCWarning(lcInstance) << "cannot listen for later starts:" << server->errorString();
        return;
    }
    QObject::connect(server, &QLocalServer::newConnection, window, [server, window] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            window->showNormal();
            window->raise();
            window->activateWindow();
            qCInfo(lcInstance) << "a later start brought the window to the front";
        }
    });
}

bool askToRaise()
{
    QLocalSocket socket;
    socket.connectToServer(channelName());
    if (!socket.waitForConnected(AnswerMs))
        return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace runningcopy
