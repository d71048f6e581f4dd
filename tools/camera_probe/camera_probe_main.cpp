// camera-probe: lists the cameras the camera library reports, opens one and
// prints, once a second, how many frames arrived and their temperature range.
// An installer's check that the camera and its library work.
#include "svk.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};

struct FrameStatistics {
    std::mutex mutex;
    int frames = 0;
    double minimumCelsius = 1e9;
    double maximumCelsius = -1e9;
    int format = SVK_PIXEL_FORMAT_OFFSET16;
};

void onFrame(const SvkFrameRecord* frame, void* context) {
    auto* statistics = static_cast<FrameStatistics*>(context);
    const auto* bytes = static_cast<const uint8_t*>(frame->data);
    const std::size_t pixels = std::size_t(frame->width) * frame->height;
    std::lock_guard<std::mutex> lock(statistics->mutex);
    const bool wide = statistics->format == SVK_PIXEL_FORMAT_RGB_CODE32;
    for (std::size_t i = 0; i < pixels; ++i) {
        const uint8_t* word = bytes + (wide ? i * 4 + 2 : i * 2);
        const int code = word[0] | (word[1] << 8);
        const double celsius =
            statistics->format == SVK_PIXEL_FORMAT_DIRECT16 ? code * 0.1 : (code - 1000) * 0.1;
        statistics->minimumCelsius = std::min(statistics->minimumCelsius, celsius);
        statistics->maximumCelsius = std::max(statistics->maximumCelsius, celsius);
    }
    ++statistics->frames;
}

int usage() {
    std::fprintf(stderr, "usage: camera-probe [--seconds N] [--camera INDEX] [--wait SECONDS]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    int cameraIndex = 0;
    int waitSeconds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--seconds" || argument == "--camera" || argument == "--wait") && i + 1 < argc) {
            (argument == "--seconds"  ? seconds
             : argument == "--camera" ? cameraIndex
                                      : waitSeconds) = std::atoi(argv[++i]);
        } else {
            return usage();
        }
    }
    std::signal(SIGINT, [](int) { stopRequested = true; });
    std::signal(SIGTERM, [](int) { stopRequested = true; });

    int result = svkInit();
    if (result != 0) {
        std::fprintf(stderr, "svkInit failed: %d\n", result);
        return 1;
    }
    int count = 0;
    result = svkGetCameraCount(&count);
    // Networked cameras are found by the library's own thread a moment after start-up.
    for (int waited = 0; result == 0 && count <= cameraIndex && waited < waitSeconds * 10 && !stopRequested;
         ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        result = svkGetCameraCount(&count);
    }
    std::vector<SvkCameraInfo> cameras(std::size_t(count > 0 ? count : 0));
    if (result == 0 && count > 0) {
        result = svkGetCameraInfo(cameras.data(), count);
    }
    if (result != 0) {
        std::fprintf(stderr, "reading the camera list failed: %d\n", result);
        svkUninit();
        return 1;
    }
    std::printf("%d camera(s)\n", count);
    for (int i = 0; i < count; ++i) {
        std::printf("  %d: %s: [%s] %s (kind %d)\n", i, cameras[i].label, cameras[i].identity,
                    cameras[i].model, cameras[i].kind);
    }
    if (cameraIndex < 0 || cameraIndex >= count) {
        svkUninit();
        return count == 0 ? 1 : usage();
    }
    SvkHandle handle = nullptr;
    result = svkOpen(cameras[std::size_t(cameraIndex)].openKey, &handle, 0);
    if (result != 0) {
        std::fprintf(stderr, "svkOpen failed: %d\n", result);
        svkUninit();
        return 1;
    }
    FrameStatistics statistics;
    SvkImageSize size{};
    svkGetImageSize(handle, &size);
    svkGetPixelFormat(handle, &statistics.format);
    std::printf("opened camera %d: %d x %d, pixel format %d\n", cameraIndex, size.width, size.height,
                statistics.format);
    svkSetFrameCallback(handle, onFrame, &statistics);
    result = svkSetAcquisition(handle, 1);
    if (result != 0) {
        std::fprintf(stderr, "svkSetAcquisition failed: %d\n", result);
    }
    for (int second = 0; result == 0 && second < seconds && !stopRequested; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        std::lock_guard<std::mutex> lock(statistics.mutex);
        if (statistics.frames == 0) {
            std::printf("no frames\n");
        } else {
            std::printf("%d frames/s, %.1f .. %.1f C\n", statistics.frames, statistics.minimumCelsius,
                        statistics.maximumCelsius);
        }
        std::fflush(stdout);
        statistics.frames = 0;
        statistics.minimumCelsius = 1e9;
        statistics.maximumCelsius = -1e9;
    }
    svkSetAcquisition(handle, 0);
    svkClose(handle);
    svkUninit();
    return result == 0 ? 0 : 1;
}
