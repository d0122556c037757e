#include <updater/online/ftpclient.h>

#include <updater/online/ftpreply.h>
#include <updater/online/onlinelog.h>
#include <updater/online/partialfile.h>
#include <updater/online/throughputfloor.h>
#include <updater/online/transfercontrol.h>

#include <flash/firmwareimage.h>

#include <QFile>
#include <algorithm>
#include <chrono>

namespace {
const std::string DefaultMismatch = "state code error!";
constexpr std::size_t BufferSize = 1000;
// Longest single wait: a cancel request is seen within it.
constexpr int SliceMs = 100;

long long NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

FtpClient::FtpClient() : receiveBuffer(BufferSize), transferBuffer(BufferSize) {}

FtpClient::~FtpClient()
{
    CloseData();
    socketshim::closeSocket(controlSocket);
    if (libraryStarted)
        socketshim::cleanup();
}

int FtpClient::SetServer(const QString &server, const QString &userName, const QString &pass)
{
    serverText = server.toUtf8().toStdString();
    user = userName.toUtf8().toStdString();
    password = pass.toUtf8().toStdString();
    return 1;
}

void FtpClient::SetControlPort(std::uint16_t port)
{
    controlPort = port;
}

void FtpClient::SetTimeouts(int connectMs, int replyMs)
{
    connectTimeoutMs = connectMs;
    replyTimeoutMs = replyMs;
}

void FtpClient::SetFloor(int bytesPerSecond, int windowMs)
{
    floorBytesPerSecond = bytesPerSecond;
    floorWindowMs = windowMs;
}

void FtpClient::SetControl(TransferControl *transferControl)
{
    control = transferControl;
}

bool FtpClient::Cancelled() const
{
    return control && control->cancelled;
}

socketshim::Wait FtpClient::WaitReadable(socketshim::Socket socket, long long deadlineMs) const
{
    for (;;) {
        if (Cancelled())
            return socketshim::Wait::Failed;
        const long long left = deadlineMs - NowMs();
        if (left <= 0)
            return socketshim::Wait::TimedOut;
        const socketshim::Wait wait =
            socketshim::waitReadable(socket, static_cast<int>(std::min<long long>(left, SliceMs)));
        if (wait != socketshim::Wait::TimedOut)
            return wait;
    }
}

int FtpClient::Login()
{
    int error = 0;
    if (!libraryStarted) {
        if (!socketshim::startup(&error)) {
            qCDebug(lcFtp) << "Init Failed: " << error;
            return -1;
        }
        libraryStarted = true;
    }
    controlSocket = socketshim::openTcp();
    if (controlSocket == socketshim::InvalidSocket) {
        qCDebug(lcFtp) << "Creating Control Socket Failed: " << socketshim::lastError();
        return -1;
    }
    if (!socketshim::parseAddress(serverText.c_str(), &address)) {
        qCDebug(lcFtp) << "Control Socket Connecting Failed: "
                       << "not an IPv4 address" << serverText.c_str();
        socketshim::closeSocket(controlSocket);
        controlSocket = socketshim::InvalidSocket;
        return -1;
    }
    error = socketshim::connectTo(controlSocket, address, controlPort, connectTimeoutMs);
    if (error != 0) {
        qCDebug(lcFtp) << "Control Socket Connecting Failed: " << error;
        socketshim::closeSocket(controlSocket);
        controlSocket = socketshim::InvalidSocket;
        return -1;
    }
    qCDebug(lcFtp) << "Control Socket connecting is success.";

    GetReply(220, "0");
    SendCommand("USER " + user);
    GetReply(331, "0");
    SendCommand("PASS " + password);
    GetReply(230, "0");
    // Binary mode: in the default ASCII mode servers rewrite line ends inside images
    // and some refuse SIZE.
    SendCommand("TYPE I");
    GetReply(200, "0");
    ListDirectory();
    // A refused login still counts as connected; a server that went silent or away does not.
    return controlBroken ? -1 : 0;
}

int FtpClient::SendCommand(const std::string &command)
{
    if (command.find_first_of("\r\n") != std::string::npos) {
        qCDebug(lcFtp) << "Refused to send a command with a line break";
        return 0;
    }
    const std::string line = command + "\r\n";
    qCDebug(lcFtp) << command.c_str();
    if (controlSocket == socketshim::InvalidSocket || controlBroken)
        return 0;
    if (!socketshim::sendAll(controlSocket, line.data(), line.size(), replyTimeoutMs))
        controlBroken = true;
    return 0;
}

FtpClient::ReadResult FtpClient::ReadReply(std::string *reply)
{
    if (controlSocket == socketshim::InvalidSocket || controlBroken)
        return ReadResult::Closed;
    // The whole reply within the time-out: a server that trickles it is as good as silent.
    const long long deadline = NowMs() + replyTimeoutMs;
    for (;;) {
        const std::size_t end = ftpreply::ReplyEnd(pending);
        if (end != ftpreply::Incomplete) {
            reply->assign(pending, 0, end);
            pending.erase(0, end);
            return ReadResult::Ok;
        }
        if (pending.size() > MaxReplyLength)
            return ReadResult::TooLong;
        switch (WaitReadable(controlSocket, deadline)) {
        case socketshim::Wait::TimedOut:
            return ReadResult::TimedOut;
        case socketshim::Wait::Failed:
            return ReadResult::Closed;
        case socketshim::Wait::Ready:
            break;
        }
        const long long got =
            socketshim::receive(controlSocket, receiveBuffer.data(), receiveBuffer.size());
        if (got <= 0)
            return ReadResult::Closed;
        pending.append(receiveBuffer.data(), static_cast<std::size_t>(got));
    }
}

int FtpClient::GetReply(int expectedCode, const std::string &message)
{
    const std::string &mismatch = message.size() == 1 ? DefaultMismatch : message;
    replyText.clear();
    std::string reply;
    const ReadResult result = ReadReply(&reply);
    if (result != ReadResult::Ok) {
        if (result == ReadResult::TooLong)
            qCDebug(lcFtp) << "ERROR! Too long information too receive!";
        else if (result == ReadResult::TimedOut)
            qCDebug(lcFtp) << "No reply from the server within" << replyTimeoutMs << "ms";
        // The rest of that reply would be taken for the answer to the next command.
        controlBroken = true;
        qCDebug(lcFtp) << mismatch.c_str();
        return -1;
    }
    replyText = reply;
    qCDebug(lcFtp)
        << QByteArray::fromStdString(replyText).trimmed().replace("\r\n", " | ").constData();
    const int code = ftpreply::ReplyCode(replyText);
    // 125 (data connection already open) is the other start-of-transfer answer.
    const bool accepted = code == expectedCode || (expectedCode == 150 && code == 125);
    if (!accepted) {
        qCDebug(lcFtp) << mismatch.c_str();
        return -1;
    }
    return 0;
}

int FtpClient::OpenDataConnection()
{
    SendCommand("PASV");
    if (GetReply(227, "0") != 0) {
        qCDebug(lcFtp) << "Data Socket connecting Failed: "
                       << "passive mode refused";
        return -1;
    }
    const int port = ftpreply::PassivePort(replyText);
    if (port <= 0) {
        qCDebug(lcFtp) << "Data Socket connecting Failed: "
                       << "no port in" << replyText.c_str();
        return -1;
    }
    CloseData();
    dataSocket = socketshim::openTcp();
    if (dataSocket == socketshim::InvalidSocket) {
        qCDebug(lcFtp) << "Data Socket connecting Failed: " << socketshim::lastError();
        return -1;
    }
    // The host part of the reply is ignored: data go to the server of the control connection.
    const int error = socketshim::connectTo(dataSocket, address, static_cast<std::uint16_t>(port),
                                            connectTimeoutMs);
    if (error != 0) {
        qCDebug(lcFtp) << "Data Socket connecting Failed: " << error;
        CloseData();
        return -1;
    }
    qCDebug(lcFtp) << "Data Socket connecting is success.";
    return 0;
}

void FtpClient::CloseData()
{
    socketshim::closeSocket(dataSocket);
    dataSocket = socketshim::InvalidSocket;
}

template <typename Sink> bool FtpClient::DrainData(Sink sink)
{
    ThroughputFloor floor(floorBytesPerSecond, floorWindowMs);
    long long total = 0;
    long long lastData = NowMs();
    for (;;) {
        const socketshim::Wait wait = WaitReadable(dataSocket, NowMs() + SliceMs);
        const long long now = NowMs();
        if (wait == socketshim::Wait::Failed) {
            if (Cancelled())
                qCDebug(lcFtp) << "Transfer cancelled";
            return false;
        }
        if (wait == socketshim::Wait::Ready) {
            const long long got =
                socketshim::receive(dataSocket, transferBuffer.data(), transferBuffer.size());
            if (got == 0)
                return true;
            if (got < 0 || !sink(transferBuffer.data(), static_cast<std::size_t>(got)))
                return false;
            qCDebug(lcFtpData) << "<=" << got << "bytes";
            total += got;
            lastData = now;
        } else if (now - lastData >= replyTimeoutMs) {
            qCDebug(lcFtp) << "No data from the server within" << replyTimeoutMs << "ms";
            return false;
        }
        if (!floor.Holds(now, total)) {
            qCDebug(lcFtp) << "Less than" << floorBytesPerSecond << "bytes/s from the server over"
                           << floorWindowMs << "ms";
            return false;
        }
    }
}

int FtpClient::ListDirectory()
{
    if (OpenDataConnection() != 0)
        return -1;
    SendCommand("LIST -al");
    if (GetReply(150, "0") != 0) {
        CloseData();
        return -1;
    }
    std::string listing;
    const bool drained = DrainData([&listing](const char *data, std::size_t size) {
        if (listing.size() + size > MaxListingLength) {
            qCDebug(lcFtp) << "The listing is longer than" << MaxListingLength << "bytes";
            return false;
        }
        listing.append(data, size);
        return true;
    });
    CloseData();
    const bool finished = GetReply(226, "0") == 0;
    // Names only from a whole listing: a cut one may end in half a name.
    listedNames =
        drained && finished ? ftpreply::ListingNames(listing) : std::vector<std::string>();
    return drained && finished ? 0 : -1;
}

long long FtpClient::FileSize(const std::string &name)
{
    SendCommand("SIZE " + name);
    if (GetReply(213, "0") != 0)
        return -1;
    return ftpreply::SizeValue(replyText);
}

int FtpClient::ChangeDirectory(const std::string &folder)
{
    SendCommand("CWD " + folder);
    GetReply(250, "0");
    ListDirectory();
    return 0;
}

int FtpClient::Upload(const std::string &localPath)
{
    QFile file(QString::fromStdString(localPath));
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcFtp) << "fail to open the file!";
        return -1;
    }
    const std::size_t slash = localPath.rfind('/');
    const std::string name = slash == std::string::npos ? localPath : localPath.substr(slash + 1);

    if (OpenDataConnection() != 0)
        return -1;
    SendCommand("STOR " + name);
    if (GetReply(150, "Permission denied.") != 0) {
        CloseData();
        return -1;
    }
    bool sent = true;
    while (sent && !file.atEnd()) {
        const qint64 got = file.read(transferBuffer.data(), BufferSize);
        sent = got >= 0 && socketshim::sendAll(dataSocket, transferBuffer.data(),
                                               static_cast<std::size_t>(got), replyTimeoutMs);
    }
    file.close();
    CloseData();
    const bool finished = GetReply(226, "0") == 0;
    ListDirectory();
    return sent && finished ? 1 : -1;
}

int FtpClient::Remove(const std::string &name)
{
    SendCommand("DELE " + name);
    GetReply(250, "0");
    ListDirectory();
    return 0;
}

int FtpClient::RemoveDirectory(const std::string &folder)
{
    SendCommand("RMD " + folder);
    GetReply(250, "0");
    ListDirectory();
    return 0;
}

int FtpClient::Rename(const std::string &oldName, const std::string &newName)
{
    SendCommand("RNFR " + oldName);
    GetReply(350, "0");
    SendCommand("RNTO " + newName);
    GetReply(250, "0");
    ListDirectory();
    return 0;
}

int FtpClient::MakeDirectory(const std::string &folder)
{
    SendCommand("MKD " + folder);
    GetReply(250, "0");
    ListDirectory();
    return 0;
}

int FtpClient::Download(const std::string &name, const std::string &localFolder)
{
    const QString finalPath = QString::fromStdString(localFolder + "/" + name);
    QFile file(PartialPath(finalPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCDebug(lcFtp) << "fail to open the file!" << file.fileName();
        return -1;
    }
    const auto fail = [&file] {
        file.close();
        file.remove();
        return -1;
    };
    if (OpenDataConnection() != 0)
        return fail();
    const long long size = FileSize(name);
    if (size > firmware::MaxFileSize) {
        qCDebug(lcFtp) << name.c_str() << "is larger than an image may be:" << size << "bytes";
        CloseData();
        return fail();
    }
    // Unknown size: the image's own bound still holds.
    const long long limit = size >= 0 ? size : firmware::MaxFileSize;
    SendCommand("RETR " + name);
    if (GetReply(150, "0") != 0) {
        CloseData();
        return fail();
    }
    long long received = 0;
    const bool drained = DrainData([&](const char *data, std::size_t count) {
        if (received + static_cast<long long>(count) > limit) {
            qCDebug(lcFtp) << "The server sent more than" << limit << "bytes of" << name.c_str();
            return false;
        }
        received += static_cast<long long>(count);
        if (control)
            control->report(received, std::max(size, 0LL));
        return file.write(data, static_cast<qint64>(count)) == static_cast<qint64>(count);
    });
    CloseData();
    const bool finished = GetReply(226, "0") == 0;
    const bool flushed = file.flush();
    // A short transfer is caught by the size announced before it, when there was one.
    if (!drained || !finished || !flushed || (size > 0 && received != size)) {
        qCDebug(lcFtp) << "Download of" << name.c_str() << "is incomplete:" << received << "of"
                       << size;
        return fail();
    }
    file.close();
    return CommitPartial(finalPath) ? 1 : -1;
}

int FtpClient::Quit()
{
    SendCommand("QUIT");
    GetReply(221, "0");
    CloseData();
    socketshim::closeSocket(controlSocket);
    controlSocket = socketshim::InvalidSocket;
    if (libraryStarted)
        socketshim::cleanup();
    libraryStarted = false;
    return 1;
}
