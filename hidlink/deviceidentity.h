#pragma once
// How a device's ids appear in text: the four hex digits that follow "VID_" and
// "PID_" in an interface path, and the texts the windows compare them with.

#include <QString>

namespace deviceidentity {

// The id as four lower-case hexadecimal digits: 0x0483 gives "0483", 0x1526 "1526".
QString idText(int id);

// The four characters that start four characters after the first `key` ("VID" or
// "PID"), searched ignoring case. Empty when `key` does not occur; shorter when the
// path ends early.
QString digitsAfter(const QString &path, const QString &key);

// True when `path` names the device with these id texts (exact comparison of digits).
bool pathMatches(const QString &path, const QString &vendorText, const QString &productText);

} // namespace deviceidentity
