#include <monitor/writehold.h>

#include <QtGlobal>

void WriteHold::wrote(const std::array<double, 4> &values)
{
    // As the set-values report carries them, and as a value report gives them back:
    // truncated, 12 bits.
    std::array<int, 4> fields;
    for (int i = 0; i < 4; ++i)
        fields[i] = int(quint16(qint64(values[i])) & 0x0FFF);
    written = fields;
    since.start();
}

bool WriteHold::accepts(const std::array<int, 4> &reported)
{
    if (!written)
        return true;
    if (reported == *written || since.hasExpired(HoldMs)) {
        written.reset();
        return true;
    }
    return false;
}
