#pragma once
// What each of the update protocol's error numbers means and what the user can do
// about it, in both languages: the help text and the command line say the same.

#include <flash/updatemessages.h>

namespace flash {

// The cause of error `number` (1, 2, 4 or 5), e.g. "the device did not enter update
// mode within 10 s"; empty for any other number.
Message errorCause(int number);
// What to do after error `number`; empty for any other number.
Message errorRemedy(int number);

} // namespace flash
