#include <updater/online/socketshim.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace socketshim {

const Socket InvalidSocket = -1;

bool startup(int *error)
{
    *error = 0;
    return true;
}

void cleanup() {}

int lastError()
{
    return errno;
}

bool isTimeout(int error)
{
    return error == ETIMEDOUT;
}

Socket openTcp()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

void closeSocket(Socket socket)
{
    if (socket != InvalidSocket)
        ::close(socket);
}

bool parseAddress(const char *text, std::uint32_t *address)
{
    in_addr parsed{};
    if (::inet_pton(AF_INET, text, &parsed) != 1)
        return false;
    *address = parsed.s_addr;
    return true;
}

static int pollFor(Socket socket, short events, int timeoutMs)
{
    pollfd entry{socket, events, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

int connectTo(Socket socket, std::uint32_t address, std::uint16_t port, int timeoutMs)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;

    const int flags = ::fcntl(socket, F_GETFL);
    ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    int error = 0;
    if (::connect(socket, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const int ready = pollFor(socket, POLLOUT, timeoutMs);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0) {
                error = errno;
            } else {
                socklen_t size = sizeof error;
                ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size);
            }
        }
    }
    ::fcntl(socket, F_SETFL, flags);
    return error;
}

Wait waitReadable(Socket socket, int timeoutMs)
{
    const int ready = pollFor(socket, POLLIN, timeoutMs);
    if (ready == 0)
        return Wait::TimedOut;
    return ready > 0 ? Wait::Ready : Wait::Failed;
}

long long receive(Socket socket, char *buffer, std::size_t length)
{
    ssize_t got;
    do {
        got = ::recv(socket, buffer, length, 0);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool sendAll(Socket socket, const char *data, std::size_t length, int timeoutMs)
{
    while (length > 0) {
        if (pollFor(socket, POLLOUT, timeoutMs) <= 0)
            return false;
        // MSG_NOSIGNAL: a peer that has gone must give an error here, not kill the process.
        const ssize_t sent = ::send(socket, data, length, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace socketshim
