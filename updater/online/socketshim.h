#pragma once
// The few socket calls the FTP client needs, the same on BSD sockets and winsock.
// Every wait is bounded so that a silent peer cannot block the caller for ever.

#include <cstddef>
#include <cstdint>

namespace socketshim {

#ifdef _WIN32
using Socket = std::uintptr_t; // SOCKET
#else
using Socket = int;
#endif
extern const Socket InvalidSocket;

// WSAStartup / WSACleanup on Windows, nothing elsewhere. Reference-counted by the platform.
bool startup(int *error);
void cleanup();

int lastError();
bool isTimeout(int error);

Socket openTcp();
void closeSocket(Socket socket);

// IPv4 dotted text to an address in network order; false for anything else.
bool parseAddress(const char *text, std::uint32_t *address);

// Returns 0 once connected, otherwise the error (a time-out gives the platform's time-out code).
int connectTo(Socket socket, std::uint32_t address, std::uint16_t port, int timeoutMs);

enum class Wait
{
    Ready,
    TimedOut,
    Failed
};
Wait waitReadable(Socket socket, int timeoutMs);

// One receive; the socket must be readable. Returns bytes read, 0 at the peer's close, -1 on error.
long long receive(Socket socket, char *buffer, std::size_t length);

// Sends everything, waiting at most timeoutMs for room each time. False on error or time-out.
bool sendAll(Socket socket, const char *data, std::size_t length, int timeoutMs);

} // namespace socketshim
