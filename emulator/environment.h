#pragma once
// The emulated device for demos and black-box runs, configured by the environment.
//
//   HIDLINK_BACKEND=emulator        use the emulated device instead of real ones
//   EMULATOR_VERSION=1250           firmware version the device reports
//   EMULATOR_FEATURE_LENGTH=64      feature report length, report id included
//   EMULATOR_LATENCY_MS=0           delay of every reply
//   EMULATOR_STATUS_RATE=0          status reports per second (monitor)
//   EMULATOR_VALUE_RATE=0           value reports per second (monitor)
//   EMULATOR_NO_U=1                 never answer the enter-update command
//   EMULATOR_DSP_ACKS=k             give k DSP acknowledgements, then fall silent
//   EMULATOR_ARM_ACKS=k             give k ARM acknowledgements, then fall silent
//   EMULATOR_CONFIRM=dsp|arm        send a confirmation when that end command arrives
//   EMULATOR_REFUSE_FROM_PACKET=k   refuse feature reports from data packet k on
//   EMULATOR_UNPLUG_AT_PACKET=k     pull the device out at data packet k
//   EMULATOR_IMAGE_DIR=folder       write dsp.bin and arm.bin there on ARM end
//   EMULATOR_PLUG_AFTER_MS=n        start absent and plug the device in after n ms

#include <emulator/emulateddevice.h>

namespace emulator {

DeviceConfig configFromEnvironment();

// When HIDLINK_BACKEND is "emulator": creates the emulated backend and device for
// the rest of the process, installs the backend and returns the device. Otherwise
// returns nullptr and leaves the native backend in place.
EmulatedDevice *installFromEnvironment();

} // namespace emulator
