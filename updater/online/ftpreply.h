#pragma once
// Reading FTP control replies and listings: pure text functions, no sockets.

#include <cstddef>
#include <string>
#include <vector>

namespace ftpreply {

constexpr std::size_t Incomplete = std::string::npos;

// Length of the first complete reply at the start of `text` (its last line end included),
// or Incomplete while more bytes are needed. "ddd-" opens a multi-line reply that runs
// to a line starting "ddd " with the same code.
std::size_t ReplyEnd(const std::string &text);

// The status code: the leading decimal digits up to the first space or hyphen; 0 if none.
int ReplyCode(const std::string &reply);

// The data port of a "227 ... (h1,h2,h3,h4,p1,p2)" reply: p1 * 256 + p2, or -1 when the
// reply does not carry six numbers of 0..255. The host part is not used.
int PassivePort(const std::string &reply);

// The number of a "213 <size>" reply; -1 when it is not a plain decimal number.
long long SizeValue(const std::string &reply);

// Every run of spaces collapsed to one space.
std::string SqueezeSpaces(const std::string &text);

// Entry names of a "LIST -al" listing: the text after the eighth field of each line.
std::vector<std::string> ListingNames(const std::string &listing);

} // namespace ftpreply
