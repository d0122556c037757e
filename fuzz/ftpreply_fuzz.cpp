// What an FTP server sends on the control connection is outside input, and TCP
// hands it over in reads of any size: a 1xx line and the 226 after it may come in
// one read or in several. Framing the stream into replies with ReplyEnd, the way
// FtpClient's reader does, must give the same replies however the stream is cut,
// and the code, PASV and SIZE readers must take what they are given apart safely.
//
// Input: byte 0 chooses how the stream is cut into reads; the rest is the stream.

#include <updater/online/ftpreply.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace ftpreply;

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "ftpreply: %s\n", what);
    std::abort();
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Takes every complete reply off the front of `pending`, as FtpClient::ReadReply does.
void takeReplies(std::string &pending, std::vector<std::string> &replies)
{
    for (;;) {
        const std::size_t end = ReplyEnd(pending);
        if (end == Incomplete)
            return;
        if (end == 0 || end > pending.size() || pending[end - 1] != '\n')
            fail("a reply that does not end at a line end inside the buffer");
        replies.push_back(pending.substr(0, end));
        pending.erase(0, end);
    }
}

// A multi-line reply ends on a line that starts with its own code.
void checkFraming(const std::string &reply)
{
    if (reply.size() > 3 && isDigit(reply[0]) && isDigit(reply[1]) && isDigit(reply[2]) &&
        reply[3] == '-') {
        const std::size_t lastStart = reply.rfind('\n', reply.size() - 2);
        if (lastStart == std::string::npos)
            fail("a multi-line reply of one line");
        const std::string last = reply.substr(lastStart + 1);
        if (last.compare(0, 3, reply, 0, 3) != 0 || (last[3] != ' ' && last[3] != '\r'))
            fail("a multi-line reply ended on a line without its code");
    }
}

// The readers of a reply's parts, also on the unfinished rest of a stream.
void checkParsers(const std::string &reply)
{
    long long digits = 0;
    std::size_t i = 0;
    for (; i < reply.size() && i < 9 && isDigit(reply[i]); ++i)
        digits = digits * 10 + (reply[i] - '0');
    if (ReplyCode(reply) != digits)
        fail("ReplyCode is not the leading digits");

    const int port = PassivePort(reply);
    if (port < -1 || port > 65535)
        fail("PassivePort out of range");
    if (SizeValue(reply) < -1)
        fail("SizeValue below -1");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string stream(reinterpret_cast<const char *>(data) + 1, size - 1);

    std::string whole = stream;
    std::vector<std::string> wholeReplies;
    takeReplies(whole, wholeReplies);

    // The same stream in reads of 1 to 16 bytes, in an order the first byte picks.
    std::string pending;
    std::vector<std::string> readReplies;
    unsigned state = data[0] | 1u;
    for (std::size_t at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const std::size_t read = std::min<std::size_t>(1 + (state >> 16) % 16, stream.size() - at);
        pending.append(stream, at, read);
        at += read;
        takeReplies(pending, readReplies);
    }
    if (readReplies != wholeReplies || pending != whole)
        fail("the replies depend on how the stream was cut");

    for (const std::string &reply : wholeReplies) {
        checkFraming(reply);
        checkParsers(reply);
    }
    checkParsers(whole);

    const std::string squeezed = SqueezeSpaces(stream);
    for (const std::string &name : ListingNames(stream)) {
        if (name.empty() || name.find('\n') != std::string::npos ||
            squeezed.find(name) == std::string::npos)
            fail("a listing name that is not the end of one line");
    }

    // Well-formed answers, built around the stream's bytes, read back exactly.
    if (size >= 9) {
        std::string text;
        for (std::size_t i = 9; i < size && text.size() < 40; ++i) {
            if (data[i] != '(' && data[i] != '\n')
                text.push_back(char(data[i]));
        }
        const int p1 = data[1];
        const int p2 = data[2];
        const std::string pasv = "227 " + text + " (" + std::to_string(data[3]) + ',' +
                                 std::to_string(data[4]) + ",0,1," + std::to_string(p1) + ',' +
                                 std::to_string(p2) + ").\r\n";
        if (PassivePort(pasv) != p1 * 256 + p2)
            fail("PassivePort misread a well-formed 227 reply");

        unsigned long long value = 0;
        for (int i = 1; i <= 8; ++i)
            value = value << 8 | data[i];
        value %= 1000000000000000000ull; // far above any file, below the parser's limit
        const std::string sizeReply = "213 " + std::to_string(value) + "\r\n";
        if (SizeValue(sizeReply) != static_cast<long long>(value))
            fail("SizeValue misread a well-formed 213 reply");
    }
    return 0;
}
