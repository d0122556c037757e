#pragma once
// A scripted FTP server on loopback for the faults real servers show only now and then:
// split replies, odd greetings, joined transfer replies, bad PASV answers, silence.
// It serves one connection after another on its own thread.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeFtpOptions
{
    std::string greeting = "220 fake server ready\r\n"; // empty: a server that never speaks
    std::string silentFrom;                             // when set: no answer from this command on
    bool splitReplies = false;                          // every reply in two sends, 20 ms apart
    bool joinTransferReplies = false; // data first, then the 1xx and the 226 in one send
    std::string transferStart = "150 Opening BINARY mode data connection.\r\n";
    std::string passiveHost = "127,0,0,1";    // the host the PASV reply names
    std::string pasvReply;                    // when set: the whole PASV answer, no data port
    std::map<std::string, std::string> files; // path from the root -> content
    std::string listing = "-rw-r--r-- 1 owner group 4 Jan 01 12:00 listed.bin\r\n";
    std::size_t dataLimit = std::string::npos; // send at most this much of a file
    std::string tricklePath;                   // this file goes out one byte per trickleMs
    bool trickleReplies = false;               // and so does every reply
    int trickleMs = 1000;
};

class FakeFtpServer
{
public:
    explicit FakeFtpServer(FakeFtpOptions options);
    ~FakeFtpServer();

    std::uint16_t port() const { return listenPort; }
    std::vector<std::string> commands() const;

private:
    void serve();
    void session(int control);
    bool readLine(int control, std::string *buffer, std::string *line);
    void reply(int control, const std::string &text);
    void trickle(int data, const std::string &content);

    FakeFtpOptions options;
    int listener = -1;
    std::uint16_t listenPort = 0;
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    std::vector<std::string> received;
    std::thread thread;
};
