#pragma once
// What the updater says about an update, in both languages: the window's boxes and
// the command line tell the user the same.

#include <QString>

namespace flash {

struct Message
{
    QString chinese;
    QString english;
};

// The protocol's error `number` (1, 2, 4 or 5).
Message errorMessage(int number);
// The device's feature report cannot carry a data packet: nothing is sent.
Message packetsCutMessage();
// Another program holds the device's update lock: nothing is sent.
Message deviceBusyMessage();

} // namespace flash
