#pragma once
// A small blocking FTP client: one control connection, passive-mode data connections.
// One client per use and per thread; every connect and every wait for the server is bounded.

#include <updater/online/socketshim.h>

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

struct TransferControl;

class FtpClient
{
public:
    static constexpr int DefaultConnectTimeoutMs = 5000;
    static constexpr int DefaultReplyTimeoutMs = 20000;
    // A reply longer than this is treated as a broken server, not buffered further.
    static constexpr std::size_t MaxReplyLength = 64 * 1024;
    // A longer listing is a broken or hostile server's: our folders hold a few dozen
    // entries of under 100 bytes each, so this leaves room for thousands.
    static constexpr std::size_t MaxListingLength = 256 * 1024;

    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient &) = delete;
    FtpClient &operator=(const FtpClient &) = delete;

    int SetServer(const QString &server, const QString &user, const QString &password);
    void SetControlPort(std::uint16_t port);
    // connectMs bounds each connect, replyMs each silence of the server (control or data).
    void SetTimeouts(int connectMs, int replyMs);
    // A data connection that averages less than bytesPerSecond over windowMs fails.
    void SetFloor(int bytesPerSecond, int windowMs);
    // Its cancel request ends any wait for the server within a tenth of a second (connects
    // excepted, bounded by their own time-out); downloads report their progress to it.
    void SetControl(TransferControl *control);

    int Login();
    int SendCommand(const std::string &command);
    int GetReply(int expectedCode, const std::string &message);
    int OpenDataConnection();
    int ListDirectory();
    long long FileSize(const std::string &name);
    int ChangeDirectory(const std::string &folder);
    int Upload(const std::string &localPath);
    int Remove(const std::string &name);
    int RemoveDirectory(const std::string &folder);
    int Rename(const std::string &oldName, const std::string &newName);
    int MakeDirectory(const std::string &folder);
    // Fails as soon as the server sends more than its SIZE announced, or more than an
    // image may be; a larger announced size fails before RETR.
    int Download(const std::string &name, const std::string &localFolder);
    int Quit();

    const std::string &ReplyText() const { return replyText; }
    // Entry names of the last listing.
    const std::vector<std::string> &ListedNames() const { return listedNames; }

private:
    enum class ReadResult
    {
        Ok,
        Closed,
        TimedOut,
        TooLong
    };

    ReadResult ReadReply(std::string *reply);
    bool Cancelled() const;
    // Waits in short slices until deadlineMs (a steady clock), watching for a cancel request.
    socketshim::Wait WaitReadable(socketshim::Socket socket, long long deadlineMs) const;
    // Reads the data connection to its end, handing each chunk to `sink`; false on
    // silence, a read error or a sink that refuses the data.
    template <typename Sink> bool DrainData(Sink sink);
    void CloseData();

    std::uint32_t address = 0;
    std::uint16_t controlPort = 21;
    std::string serverText;
    std::string user;
    std::string password;
    std::vector<char> receiveBuffer;
    std::vector<char> transferBuffer;
    socketshim::Socket controlSocket = socketshim::InvalidSocket;
    socketshim::Socket dataSocket = socketshim::InvalidSocket;
    std::string replyText;
    // Bytes read past the end of the last reply: the start of the next one.
    std::string pending;
    std::vector<std::string> listedNames;
    int connectTimeoutMs = DefaultConnectTimeoutMs;
    int replyTimeoutMs = DefaultReplyTimeoutMs;
    int floorBytesPerSecond = 0;
    int floorWindowMs = 0;
    TransferControl *control = nullptr;
    bool libraryStarted = false;
    // Set once a reply was lost: every later reply would be out of step.
    bool controlBroken = false;
};
