#pragma once
// The emulated device for demos and black-box runs, configured by the environment.
//
//   HIDLINK_BACKEND=emulator        use the emulated device instead of real ones
//   EMULATOR_VERSION=1250[,1249]    firmware version each device reports (the last for the rest)
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
//   EMULATOR_PLUG_AFTER_MS=n[,n]    start absent and plug the device in after n ms
//                                   (one time per device; the last stands for the rest)
//   EMULATOR_DEVICES=N              N devices with distinct paths (1 to 64); their images
//                                   go to EMULATOR_IMAGE_DIR/1, /2, ...
//   EMULATOR_FAULT_DEVICE=k         the fault settings (LATENCY_MS, NO_U ... UNPLUG_AT_PACKET)
//                                   apply to device k only (1-based)
//   EMULATOR_REPLUG_DEVICE=k        device k is pulled out EMULATOR_REPLUG_AFTER_MS (300)
//                                   after its first update and plugged in again as long after
//   EMULATOR_TRACE=path             append every report received there, one hex line each
//                                   after the milliseconds since the device was made
//   EMULATOR_SEND=ms:hex[,ms:hex]   send these reports on its own, ms after it appears

#include <emulator/emulateddevice.h>

namespace emulator {

constexpr int MaxDevices = 64;

// The configuration of device `index` (0-based) of `count`.
DeviceConfig configFromEnvironment(int index = 0, int count = 1);

// EMULATOR_SEND's reports; false when the text is not of that form.
bool parseUnsolicited(const std::string &text,
                      std::vector<std::pair<int, std::vector<std::uint8_t>>> *reports);

// The backend a program uses: when HIDLINK_BACKEND is "emulator", an emulated backend
// with its devices for the rest of the process; otherwise the native one. Called once,
// at start.
hidplatform::Backend &backendFromEnvironment();

} // namespace emulator
