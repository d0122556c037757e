#include "fakeftpserver.h"
#include <updater/online/socketshim.h>

#include <chrono>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// Winsock's names for the few calls that differ. Its SOCKET values fit in an int.
#define close closesocket
#define poll WSAPoll
#define SOCK_CLOEXEC 0
#define MSG_NOSIGNAL 0
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
constexpr int PollMs = 20;

int listenLoopback(std::uint16_t *port)
{
    const int socket = static_cast<int>(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&yes),
                 sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr *>(&address), size);
    ::listen(socket, 4);
    ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size);
    *port = ntohs(address.sin_port);
    return socket;
}

bool readable(int socket, int timeoutMs)
{
    pollfd entry{};
    entry.fd = socket;
    entry.events = POLLIN;
    return ::poll(&entry, 1, timeoutMs) > 0;
}

void sendAll(int socket, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t sent = ::send(socket, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (sent <= 0)
            return;
        done += static_cast<std::size_t>(sent);
    }
}
} // namespace

FakeFtpServer::FakeFtpServer(FakeFtpOptions serverOptions) : options(std::move(serverOptions))
{
    int error = 0;
    socketshim::startup(&error);
    listener = listenLoopback(&listenPort);
    thread = std::thread([this] { serve(); });
}

FakeFtpServer::~FakeFtpServer()
{
    stopping = true;
    thread.join();
    ::close(listener);
    socketshim::cleanup();
}

std::vector<std::string> FakeFtpServer::commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void FakeFtpServer::serve()
{
    while (!stopping) {
        if (!readable(listener, PollMs))
            continue;
        const int control = static_cast<int>(::accept(listener, nullptr, nullptr));
        if (control >= 0) {
            session(control);
            ::close(control);
        }
    }
}

void FakeFtpServer::reply(int control, const std::string &text)
{
    if (options.trickleReplies) {
        trickle(control, text);
        return;
    }
    const std::size_t half = options.splitReplies ? text.size() / 2 : text.size();
    sendAll(control, text.substr(0, half));
    std::this_thread::sleep_for(std::chrono::milliseconds(half < text.size() ? 20 : 0));
    sendAll(control, text.substr(half));
}

bool FakeFtpServer::readLine(int control, std::string *buffer, std::string *line)
{
    for (;;) {
        const std::size_t end = buffer->find("\r\n");
        if (end != std::string::npos) {
            *line = buffer->substr(0, end);
            buffer->erase(0, end + 2);
            return true;
        }
        if (stopping)
            return false;
        if (!readable(control, PollMs))
            continue;
        char chunk[512];
        const ssize_t got = ::recv(control, chunk, sizeof chunk, 0);
        if (got <= 0)
            return false;
        buffer->append(chunk, static_cast<std::size_t>(got));
    }
}

void FakeFtpServer::trickle(int data, const std::string &content)
{
    for (char byte : content) {
        if (stopping || ::send(data, &byte, 1, MSG_NOSIGNAL) != 1)
            return;
        for (int waited = 0; waited < options.trickleMs && !stopping; waited += PollMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
    }
}

void FakeFtpServer::session(int control)
{
    bool silent = false;
    reply(control, options.greeting);
    std::string buffer;
    std::string line;
    std::string folder; // current folder, "" for the root
    int passive = -1;
    while (readLine(control, &buffer, &line)) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            received.push_back(line);
        }
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
        silent = silent || verb == options.silentFrom;
        if (silent)
            continue;
        const std::string path = folder.empty() ? argument : folder + "/" + argument;

        static const std::map<std::string, std::string> fixed = {
            {"USER", "331 Password required.\r\n"},
            {"PASS", "230 Logged in.\r\n"},
            {"TYPE", "200 Type set.\r\n"},
            {"PWD", "257 \"/\" is the current directory.\r\n"},
            {"QUIT", "221 Goodbye.\r\n"}};
        const auto file = options.files.find(path);
        if (fixed.count(verb)) {
            reply(control, fixed.at(verb));
            if (verb == "QUIT")
                break;
        } else if (verb == "CWD") {
            folder = argument == "/" ? "" : path;
            reply(control, "250 Directory changed.\r\n");
        } else if (verb == "PASV") {
            if (passive >= 0)
                ::close(passive);
            std::uint16_t port = 0;
            passive = options.pasvReply.empty() ? listenLoopback(&port) : -1;
            reply(control, passive < 0 ? options.pasvReply
                                       : "227 Entering Passive Mode (" + options.passiveHost + "," +
                                             std::to_string(port / 256) + "," +
                                             std::to_string(port % 256) + ").\r\n");
        } else if ((verb == "SIZE" || verb == "RETR") && file == options.files.end()) {
            reply(control, "550 No such file.\r\n");
        } else if (verb == "SIZE") {
            reply(control, "213 " + std::to_string(file->second.size()) + "\r\n");
        } else if (verb == "LIST" || verb == "RETR") {
            const std::string content =
                verb == "LIST" ? options.listing : file->second.substr(0, options.dataLimit);
            // Waits up to 2 s for the client's data connection.
            const bool connected = passive >= 0 && readable(passive, 2000);
            const int data = connected ? static_cast<int>(::accept(passive, nullptr, nullptr)) : -1;
            if (passive >= 0)
                ::close(passive);
            passive = -1;
            if (data < 0) {
                reply(control, "425 Can't open data connection.\r\n");
                continue;
            }
            const bool join = options.joinTransferReplies && path != options.tricklePath;
            if (!join)
                reply(control, options.transferStart);
            if (verb == "RETR" && path == options.tricklePath)
                trickle(data, content);
            else
                sendAll(data, content);
            ::close(data);
            reply(control, (join ? options.transferStart : "") + "226 Transfer complete.\r\n");
        } else {
            reply(control, "502 Not implemented.\r\n");
        }
    }
    if (passive >= 0)
        ::close(passive);
}
