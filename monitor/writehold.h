#pragma once
// After the window writes the four values, a value report the device sent before the
// write reached it may still be on its way; applied, it would put the handles back to
// the old values. Until a report shows the written values, or the hold time is over,
// reports with other values are passed over: the device's next report settles it.

#include <QElapsedTimer>
#include <array>
#include <optional>

class WriteHold
{
public:
    static constexpr int HoldMs = 500;

    // The ruler's values as they were written.
    void wrote(const std::array<double, 4> &values);
    // Whether a value report with these values is to be shown.
    bool accepts(const std::array<int, 4> &reported);

private:
    std::optional<std::array<int, 4>> written;
    QElapsedTimer since;
};
