#pragma once
// Which devices the USB provider of the next svkInit reads: this machine's
// /dev/video* re-checked every 2 s, unless a test stands a fake device system in.

#include "video_device.h"

namespace calidra::sorvik {

// Exported from libSorvikC.so for tests: system (null: the machine's own) and
// the re-check interval used from the next svkInit on. The caller keeps the
// system alive until svkUninit.
__attribute__((visibility("default"))) void useUvcDeviceSystem(uvc::DeviceSystem* system,
                                                               int recheckIntervalMs);

uvc::DeviceSystem* chosenUvcDeviceSystem();
int chosenUvcRecheckIntervalMs();

} // namespace calidra::sorvik
