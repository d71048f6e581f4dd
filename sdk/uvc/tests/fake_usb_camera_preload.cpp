// Loaded with LD_PRELOAD into a program that uses libSorvikC.so (the station,
// calidra-headless): a fake InfiRay P2 on /dev/video0 takes the place of the
// machine's video devices, so the whole station can be run against a USB
// camera where none is plugged in. It sends a 38.2 C face on a 22 C
// background at 25 fps, with the serial number FAKE_USB_CAMERA_SERIAL
// (default 16F0U001); while the file FAKE_USB_CAMERA_PULLED names exists, the
// camera is unplugged.
#include "fake_video_device.h"
#include "frame_layouts.h"
#include "uvc_device_choice.h"

#include <linux/videodev2.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using namespace calidra::uvc::testing;

constexpr const char* kNode = "/dev/video0";
constexpr int kPollMs = 50;
constexpr int kPolls = 20 * 60 * 1000 / kPollMs; // watches for 20 minutes at most
// The library re-checks the devices this often rather than every 2 s: a test waits less for a plug.
constexpr int kRecheckMs = 250;

bool pulled(const char* controlFile) {
    return controlFile != nullptr && ::access(controlFile, F_OK) == 0;
}

__attribute__((constructor)) void standInFakeCamera() {
    const char* serial = std::getenv("FAKE_USB_CAMERA_SERIAL");
    const char* controlFile = std::getenv("FAKE_USB_CAMERA_PULLED");
    FakeCameraSpec spec;
    spec.vendorId = 0x0bda;
    spec.productId = 0x5830;
    spec.serial = serial != nullptr && *serial != '\0' ? serial : "16F0U001";
    spec.card = "USB Camera";
    spec.sizes = {{V4L2_PIX_FMT_YUYV, 256, 192}, {V4L2_PIX_FMT_YUYV, 256, 384}};
    spec.framesPerSecond = 25;
    Scene scene(256, 192, 22.0);
    scene.fill(100, 70, 140, 120, 38.2);
    // Never freed: the library may use them until the process ends.
    auto* camera = new std::shared_ptr<FakeCamera>(std::make_shared<FakeCamera>(spec));
    (*camera)->setFrame(infiRayDualFrame(scene, 0x80));
    auto* devices = new FakeDeviceSystem;
    if (!pulled(controlFile)) {
        devices->plug(kNode, *camera);
    }
    calidra::sorvik::useUvcDeviceSystem(devices, kRecheckMs);
    if (controlFile == nullptr) {
        return;
    }
    std::thread([devices, camera, controlFile] {
        bool plugged = !pulled(controlFile);
        for (int i = 0; i < kPolls; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            const bool wanted = !pulled(controlFile);
            if (wanted != plugged) {
                plugged = wanted;
                if (plugged) {
                    devices->plug(kNode, *camera);
                } else {
                    devices->unplug(kNode);
                }
            }
        }
    }).detach();
}

} // namespace
