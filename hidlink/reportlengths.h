#pragma once
// The lengths of the reports both programs exchange with the device, report id included.

namespace reportlengths {

// The commands the tools write as feature reports (report id 0x80).
constexpr int Command = 11;
// The input reports the readers take.
constexpr int Input = 20;

} // namespace reportlengths
