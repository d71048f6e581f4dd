#include "camera_profiles.h"

#include <linux/videodev2.h>

#include <cmath>

namespace calidra::uvc {

namespace {

constexpr double kZeroCelsiusKelvin = 273.15;

uint16_t countsAt(double celsius, double countsPerKelvin) {
    return uint16_t(std::lround((celsius + kZeroCelsiusKelvin) * countsPerKelvin));
}

std::vector<CameraProfile> makeProfiles() {
    std::vector<CameraProfile> profiles;

    // InfiRay P2 / P2 Pro, TOPDON TC001 and their clones. Frame layout as
    // read by the open viewers of these cameras:
    // - github.com/LeoDJ/P2Pro-Viewer, P2Pro/video.py: YUYV 256 x 384 at
    //   25 fps; the upper half is the camera's own picture, the lower half
    //   256 x 192 little-endian 16-bit temperature values.
    // - github.com/leswright1977/PyThermalCamera, src/tc001v4.2.py (TC001):
    //   the same split, T = raw / 64 - 273.15.
    // - github.com/alufers/thermal-cat, src/camera_adapter/infiray_p2_pro.rs:
    //   values in 1/64 K; USB ids 0bda:5830 and 0bda:5840 (a clone).
    // The gain is chosen by a vendor USB request (P2Pro-Viewer's P2Pro_cmd.py,
    // TPD_PROP_GAIN_SEL) that V4L2 cannot send or read. The high-gain range
    // clips at 150 C (the maker's USB SDK sample raises its high-gain
    // over-temperature guard at (150 + 273.15) x 64 counts): counts clearly
    // above it can only come from the low-gain range, whose readings are too
    // coarse for body temperature and are refused.
    // Shutter: the zoom-control value 0x8000 is documented for the maker's
    // Xtherm / T2 / T3 cameras (InfiRay Xtherm II manual, appendix 3;
    // github.com/diminDDL/IR-Py-Thermal), but the open code that drives the
    // P2 family itself runs its shutter through the vendor USB request
    // (updateOOCOrB), so no flat-field command is claimed for this profile.
    {
        CameraProfile p2;
        p2.model = "InfiRay P2 / P2 Pro / TOPDON TC001";
        p2.usbIds = {{0x0bda, 0x5830}, {0x0bda, 0x5840}};
        p2.modes = {{{V4L2_PIX_FMT_YUYV, 256, 384}, 192, 256, 192}};
        p2.framesPerSecond = 25;
        p2.countsPerKelvin = 64.0;
        p2.check = FrameCheck::CeilingOfHighGain;
        p2.checkCounts = countsAt(155.0, p2.countsPerKelvin); // 5 C of noise above the clip
        profiles.push_back(std::move(p2));
    }

    // FLIR Lepton 3.5 / 2.5 on a PureThermal board (GroupGets firmware):
    // - github.com/groupgets/purethermal1-firmware, Src/usbd_desc.c: USB id
    //   1e4e:0100, serial string "v1.0.0" on every board of that firmware.
    // - github.com/groupgets/purethermal1-uvc-capture, python/uvc-radiometry.py:
    //   Y16 at 9 fps, radiometric TLinear values in 0.01 K:
    //   T = counts / 100 - 273.15; the firmware's stream descriptors
    //   (uvc_desc_vs_l2.h, uvc_desc_vs_l3.h) give 80 x 60 for the Lepton 2.x
    //   and 160 x 120 for the Lepton 3.x.
    // - With TLinear off the Lepton sends 14-bit raw counts, a scene at the
    //   camera's own temperature in the lower quarter of that range (Lepton
    //   Engineering Datasheet 500-0659-00-09, "Radiometry Disabled"). 16 384
    //   in 0.01 K would be -109 C, far below anything the Lepton measures, so
    //   a frame whose hottest pixel is under 16 384 carries raw counts (or
    //   TLinear at 0.1 K resolution) and is refused.
    // - Flat-field correction: the firmware maps each Lepton SDK module to a
    //   UVC extension unit (Inc/usbd_uvc.h: AGC 3, OEM 4, RAD 5, SYS 6, VID 7)
    //   and a control selector to command id (selector - 1) x 4 within the
    //   module; a one-byte SET_CUR runs the command (Src/usbd_uvc_if.c,
    //   Src/usbd_uvc_lepton_xu.c). FLR_CID_SYS_RUN_FFC is 0x0242 (Lepton SDK
    //   LEPTON_SYS.h), so unit 6, selector (0x42 >> 2) + 1 = 17, as
    //   github.com/groupgets/GetThermal computes it for the same command.
    {
        CameraProfile lepton;
        lepton.model = "FLIR Lepton 3.5 / 2.5 on PureThermal";
        lepton.usbIds = {{0x1e4e, 0x0100}};
        lepton.modes = {{{V4L2_PIX_FMT_Y16, 160, 120}, 0, 160, 120}, {{V4L2_PIX_FMT_Y16, 80, 60}, 0, 80, 60}};
        lepton.framesPerSecond = 9;
        lepton.countsPerKelvin = 100.0;
        lepton.check = FrameCheck::FloorOfTLinear;
        lepton.checkCounts = 16384;
        lepton.flatFieldCorrection = ExtensionUnitCommand{6, 17, 0};
        lepton.sharedSerials = {"v1.0.0"};
        profiles.push_back(std::move(lepton));
    }
    return profiles;
}

} // namespace

const std::vector<CameraProfile>& knownProfiles() {
    static const std::vector<CameraProfile> profiles = makeProfiles();
    return profiles;
}

const CameraProfile* profileForUsbId(uint16_t vendorId, uint16_t productId) {
    for (const CameraProfile& profile : knownProfiles()) {
        for (const UsbId& id : profile.usbIds) {
            if (id.vendorId == vendorId && id.productId == productId) {
                return &profile;
            }
        }
    }
    return nullptr;
}

const StreamMode* chooseMode(const CameraProfile& profile, const std::vector<FrameSize>& offered) {
    for (const StreamMode& mode : profile.modes) {
        for (const FrameSize& size : offered) {
            if (size == mode.size) {
                return &mode;
            }
        }
    }
    return nullptr;
}

FrameVerdict judgeFrame(const CameraProfile& profile, uint16_t highestCounts) {
    switch (profile.check) {
    case FrameCheck::CeilingOfHighGain:
        return highestCounts > profile.checkCounts ? FrameVerdict::LowGainRange : FrameVerdict::Temperatures;
    case FrameCheck::FloorOfTLinear:
        return highestCounts < profile.checkCounts ? FrameVerdict::RawCounts : FrameVerdict::Temperatures;
    }
    return FrameVerdict::Temperatures;
}

std::string refusalMessage(const CameraProfile& profile, FrameVerdict verdict) {
    const std::string camera = std::string("USB camera ") + profile.model + ": ";
    switch (verdict) {
    case FrameVerdict::LowGainRange:
        return camera +
               "frames show the low-gain (high-temperature) range and are not used; switch the camera "
               "to its high-gain range and plug it in again.";
    case FrameVerdict::RawCounts:
        return camera + "frames carry raw counts, not temperatures, and are not used; enable radiometry "
                        "(TLinear, 0.01 K resolution) and plug it in again.";
    case FrameVerdict::Temperatures:
        break;
    }
    return {};
}

} // namespace calidra::uvc
