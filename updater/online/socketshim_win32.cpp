#include <updater/online/socketshim.h>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace socketshim {

const Socket InvalidSocket = INVALID_SOCKET;

bool startup(int *error)
{
    WSADATA data;
    *error = WSAStartup(MAKEWORD(2, 2), &data);
    return *error == 0;
}

void cleanup()
{
    WSACleanup();
}

int lastError()
{
    return WSAGetLastError();
}

bool isTimeout(int error)
{
    return error == WSAETIMEDOUT;
}

Socket openTcp()
{
    return ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

void closeSocket(Socket socket)
{
    if (socket != InvalidSocket)
        ::closesocket(socket);
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
    WSAPOLLFD entry{};
    entry.fd = socket;
    entry.events = events;
    return ::WSAPoll(&entry, 1, timeoutMs);
}

int connectTo(Socket socket, std::uint32_t address, std::uint16_t port, int timeoutMs)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;

    u_long nonBlocking = 1;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    int error = 0;
    if (::connect(socket, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            // select, not WSAPoll: older WSAPoll never reports a refused connect.
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket, &writable);
            FD_SET(socket, &failed);
            timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            const int ready = ::select(0, nullptr, &writable, &failed, &limit);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0) {
                error = WSAGetLastError();
            } else {
                int size = sizeof error;
                ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size);
            }
        }
    }
    nonBlocking = 0;
    ::ioctlsocket(socket, FIONBIO, &nonBlocking);
    return error;
}

Wait waitReadable(Socket socket, int timeoutMs)
{
    const int ready = pollFor(socket, POLLRDNORM, timeoutMs);
    if (ready == 0)
        return Wait::TimedOut;
    return ready > 0 ? Wait::Ready : Wait::Failed;
}

long long receive(Socket socket, char *buffer, std::size_t length)
{
    return ::recv(socket, buffer, static_cast<int>(length), 0);
}

bool sendAll(Socket socket, const char *data, std::size_t length, int timeoutMs)
{
    while (length > 0) {
        if (pollFor(socket, POLLWRNORM, timeoutMs) <= 0)
            return false;
        const int sent = ::send(socket, data, static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR)
            return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

} // namespace socketshim
