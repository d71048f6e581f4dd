#include "camera_probe.h"
#include "camera_profiles.h"
#include "fake_video_device.h"
#include "svk.h"
#include "thermal_decoder.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cmath>
#include <random>

using namespace calidra::uvc;
using calidra::uvc::testing::FakeCamera;
using calidra::uvc::testing::FakeCameraSpec;
using calidra::uvc::testing::FakeDeviceSystem;

namespace {

const CameraProfile& infiRay() {
    return *profileForUsbId(0x0bda, 0x5830);
}
const CameraProfile& lepton() {
    return *profileForUsbId(0x1e4e, 0x0100);
}

// The contract's scales written out plainly: T = counts / k - 273.15 + offset,
// code = round(10 T) (+ 1000 on the offset scale), clamped.
double referenceTenths(uint16_t counts, double countsPerKelvin, double offset, bool direct) {
    const double celsius = counts / countsPerKelvin - 273.15 + offset;
    return celsius * 10.0 + (direct ? 0.0 : 1000.0);
}

long clampedRound(double tenths) {
    return std::clamp(std::lround(tenths), 0L, 65535L);
}

uint16_t wordAt(const std::vector<uint8_t>& bytes, std::size_t offset) {
    return uint16_t(bytes[offset] | (bytes[offset + 1] << 8));
}

} // namespace

TEST(UvcDecoding, CodesFollowTheContractScalesAgainstANaiveReference) {
    std::mt19937 random(23);
    const uint32_t width = 37, height = 11, padding = 6;
    const uint32_t bytesPerLine = width * 2 + padding;
    std::vector<uint8_t> image(std::size_t(bytesPerLine) * height, 0xEE);
    std::vector<uint16_t> counts(std::size_t(width) * height);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        counts[i] = i == 0 ? 0 : i == 1 ? 65535 : uint16_t(random());
        const std::size_t at = (i / width) * bytesPerLine + (i % width) * 2;
        image[at] = uint8_t(counts[i]);
        image[at + 1] = uint8_t(counts[i] >> 8);
    }
    const CountsImage view{image.data(), width, height, bytesPerLine};

    for (const double countsPerKelvin : {64.0, 100.0}) {
        for (const double offset : {0.0, 0.3, -2.7, 7000.0, -7000.0}) {
            for (const int format :
                 {SVK_PIXEL_FORMAT_OFFSET16, SVK_PIXEL_FORMAT_DIRECT16, SVK_PIXEL_FORMAT_RGB_CODE32}) {
                SCOPED_TRACE(::testing::Message()
                             << "k " << countsPerKelvin << " offset " << offset << " format " << format);
                const std::size_t pixelBytes = bytesPerPixel(format);
                std::vector<uint8_t> frame(counts.size() * pixelBytes, 0xAA);
                std::vector<uint16_t> offsetCodes(counts.size());
                EXPECT_EQ(
                    decodeCounts(view, {countsPerKelvin, offset}, format, frame.data(), offsetCodes.data()),
                    65535);
                for (std::size_t i = 0; i < counts.size(); ++i) {
                    const bool direct = format == SVK_PIXEL_FORMAT_DIRECT16;
                    const double tenths = referenceTenths(counts[i], countsPerKelvin, offset, direct);
                    const double offsetTenths = referenceTenths(counts[i], countsPerKelvin, offset, false);
                    const uint16_t code = wordAt(frame, i * pixelBytes + (pixelBytes == 4 ? 2 : 0));
                    // Exact halves may land either way after binary rounding; nothing else may.
                    const bool tie = std::abs(std::abs(tenths - std::floor(tenths)) - 0.5) < 1e-6;
                    EXPECT_LE(std::abs(code - clampedRound(tenths)), tie ? 1 : 0) << "pixel " << i;
                    EXPECT_LE(std::abs(offsetCodes[i] - clampedRound(offsetTenths)), 1) << "pixel " << i;
                    if (pixelBytes == 4) {
                        EXPECT_EQ(wordAt(frame, i * 4), 0) << "pixel " << i;
                    }
                }
            }
        }
    }
}

TEST(UvcDecoding, FramesOutsideTheReadableRangeAreRefused) {
    const auto infiRayCounts = [](double celsius) { return uint16_t(std::lround((celsius + 273.15) * 64)); };
    EXPECT_EQ(judgeFrame(infiRay(), infiRayCounts(38.2)), FrameVerdict::Temperatures);
    EXPECT_EQ(judgeFrame(infiRay(), infiRayCounts(150.0)), FrameVerdict::Temperatures); // the high-gain clip
    EXPECT_EQ(judgeFrame(infiRay(), infiRayCounts(300.0)), FrameVerdict::LowGainRange);
    EXPECT_NE(refusalMessage(infiRay(), FrameVerdict::LowGainRange).find("low-gain"), std::string::npos);

    EXPECT_EQ(judgeFrame(lepton(), 31135), FrameVerdict::Temperatures); // 38.2 C in 0.01 K
    EXPECT_EQ(judgeFrame(lepton(), 8200), FrameVerdict::RawCounts);     // TLinear off
    EXPECT_EQ(judgeFrame(lepton(), 3113), FrameVerdict::RawCounts);     // TLinear at 0.1 K
    EXPECT_NE(refusalMessage(lepton(), FrameVerdict::RawCounts).find("raw counts"), std::string::npos);
}

TEST(UvcDecoding, CamerasAreRecognisedByUsbIdsAndTheirDocumentedStream) {
    FakeDeviceSystem system;
    const auto plug = [&](const std::string& path, uint16_t vendor, uint16_t product, std::string serial,
                          std::vector<FrameSize> sizes) {
        FakeCameraSpec spec;
        spec.vendorId = vendor;
        spec.productId = product;
        spec.serial = std::move(serial);
        spec.busInfo = "usb-bus-" + path.substr(path.size() - 1);
        spec.sizes = std::move(sizes);
        system.plug(path, std::make_shared<FakeCamera>(spec));
    };
    plug("/dev/video0", 0x0bda, 0x5830, "P2-4711",
         {{V4L2_PIX_FMT_YUYV, 256, 192}, {V4L2_PIX_FMT_YUYV, 256, 384}});
    plug("/dev/video1", 0x0bda, 0x5830, "", {{V4L2_PIX_FMT_YUYV, 640, 480}}); // a webcam with the same ids
    plug("/dev/video2", 0x1e4e, 0x0100, "v1.0.0", {{V4L2_PIX_FMT_Y16, 80, 60}, {V4L2_PIX_FMT_UYVY, 80, 60}});
    plug("/dev/video3", 0x0bda, 0x5840, "", {{V4L2_PIX_FMT_YUYV, 256, 384}});

    DiscoveredCamera camera;
    DeviceResult result;
    ASSERT_TRUE(probeCamera(system, "/dev/video0", camera, result));
    ASSERT_EQ(camera.profile, &infiRay());
    EXPECT_EQ(camera.mode.countsTopRow, 192u);
    EXPECT_EQ(camera.identityText(), "P2-4711");

    ASSERT_TRUE(probeCamera(system, "/dev/video1", camera, result));
    EXPECT_EQ(camera.profile, nullptr);

    ASSERT_TRUE(probeCamera(system, "/dev/video2", camera, result));
    ASSERT_EQ(camera.profile, &lepton());
    EXPECT_EQ(camera.mode.countsWidth, 80u);       // the Lepton 2.x size when 160 x 120 is not offered
    EXPECT_EQ(camera.identityText(), "usb-bus-2"); // every board of that firmware says "v1.0.0"

    ASSERT_TRUE(probeCamera(system, "/dev/video3", camera, result));
    EXPECT_EQ(camera.profile, &infiRay());
    EXPECT_EQ(camera.identityText(), "usb-bus-3"); // no serial: the bus path

    EXPECT_FALSE(probeCamera(system, "/dev/video9", camera, result));
    EXPECT_EQ(result, DeviceResult::Gone);
}

TEST(UvcDecoding, TheRealDeviceSystemTellsMissingAndForeignNodesApart) {
    std::unique_ptr<DeviceSystem> system = makeV4l2DeviceSystem();
    DiscoveredCamera camera;
    DeviceResult result = DeviceResult::Ok;
    EXPECT_FALSE(probeCamera(*system, "/dev/video-not-here", camera, result));
    EXPECT_EQ(result, DeviceResult::Gone);
    EXPECT_FALSE(probeCamera(*system, "/dev/null", camera, result)); // opens, but is no video node
    EXPECT_EQ(result, DeviceResult::Unsupported);
    for (const DeviceEntry& entry : system->listDevices()) {
        EXPECT_EQ(entry.path.rfind("/dev/video", 0), 0u) << entry.path;
    }
}
