#include <updater/online/ftpreply.h>

#include <cctype>
#include <climits>

namespace ftpreply {

static bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

static bool startsWithCode(const std::string &text, std::size_t at, char separator,
                           const std::string &code)
{
    return text.compare(at, 3, code) == 0 && at + 3 < text.size() && text[at + 3] == separator;
}

std::size_t ReplyEnd(const std::string &text)
{
    std::size_t lineEnd = text.find('\n');
    if (lineEnd == std::string::npos)
        return Incomplete;
    const bool multiLine = text.size() > 3 && isDigit(text[0]) && isDigit(text[1]) &&
                           isDigit(text[2]) && text[3] == '-';
    if (!multiLine)
        return lineEnd + 1;

    const std::string code = text.substr(0, 3);
    for (;;) {
        const std::size_t lineStart = lineEnd + 1;
        lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            return Incomplete;
        if (startsWithCode(text, lineStart, ' ', code) ||
            startsWithCode(text, lineStart, '\r', code))
            return lineEnd + 1;
    }
}

int ReplyCode(const std::string &reply)
{
    int code = 0;
    for (std::size_t i = 0; i < reply.size() && i < 9 && isDigit(reply[i]); ++i)
        code = code * 10 + (reply[i] - '0');
    return code;
}

int PassivePort(const std::string &reply)
{
    // Numbers are counted from the opening parenthesis when there is one, so that a
    // comma in the text before it cannot shift them.
    std::size_t at = reply.find('(');
    at = at == std::string::npos ? reply.find(' ') : at + 1;
    if (at == std::string::npos)
        return -1;

    int fields[6];
    int count = 0;
    while (count < 6) {
        while (at < reply.size() && !isDigit(reply[at]))
            ++at;
        if (at >= reply.size())
            return -1;
        int value = 0;
        int digits = 0;
        while (at < reply.size() && isDigit(reply[at])) {
            if (++digits > 3)
                return -1;
            value = value * 10 + (reply[at++] - '0');
        }
        if (value > 255)
            return -1;
        fields[count++] = value;
        if (count < 6 && (at >= reply.size() || reply[at] != ','))
            return -1;
    }
    return fields[4] * 256 + fields[5];
}

long long SizeValue(const std::string &reply)
{
    const std::size_t space = reply.find(' ');
    if (space == std::string::npos)
        return -1;
    long long value = 0;
    std::size_t at = space + 1;
    const std::size_t first = at;
    for (; at < reply.size() && reply[at] != '\r' && reply[at] != '\n'; ++at) {
        if (!isDigit(reply[at]) || value > (LLONG_MAX - 9) / 10)
            return -1;
        value = value * 10 + (reply[at] - '0');
    }
    return at == first ? -1 : value;
}

std::string SqueezeSpaces(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ')
            continue;
        out.push_back(c);
    }
    return out;
}

std::vector<std::string> ListingNames(const std::string &listing)
{
    std::vector<std::string> names;
    const std::string squeezed = SqueezeSpaces(listing);
    std::size_t start = 0;
    while (start < squeezed.size()) {
        std::size_t end = squeezed.find('\n', start);
        if (end == std::string::npos)
            end = squeezed.size();
        std::string line = squeezed.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;

        std::size_t at = 0;
        int fields = 0;
        while (fields < 8 && at != std::string::npos) {
            at = line.find(' ', at);
            if (at != std::string::npos) {
                ++at;
                ++fields;
            }
        }
        if (fields == 8 && at < line.size())
            names.push_back(line.substr(at));
    }
    return names;
}

} // namespace ftpreply
