// Camera frames of any size, format and content, also of another size than the acquisition's:
// the intake and detection on their own, then the whole frame procedure with a recording host.
#include "testsupport/fake_pipeline_host.h"
#include "pipeline/frame_settings.h"

#include "pipeline/frame_buffers.h"
#include "pipeline/frame_pipeline.h"
#include "pipeline/human_detection.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A program folder whose alarm folder is a plain file: snapshots fail instead of filling the disk.
const std::string& programFolder() {
    static const std::string folder = [] {
        char name[] = "/tmp/calidra-fuzz-frame-XXXXXX";
        if (mkdtemp(name) == nullptr)
            abort();
        const std::string path(name);
        mkdir((path + "/Zonara").c_str(), 0700);
        FILE* blocker = std::fopen((path + "/ThermalAlarm").c_str(), "wb");
        if (blocker != nullptr)
            std::fclose(blocker);
        return path;
    }();
    return folder;
}

int formatCodeFrom(uint8_t selector) {
    switch (selector % 5) {
    case 0:
        return 103;
    case 1:
        return 104;
    case 2:
        return 110;
    case 3:
        return 0;
    default:
        return int(int8_t(selector)) * 7;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Header: acquisition size, frame size, format, settings selectors; the rest are pixels.
    if (size < 8)
        return 0;
    const int acquisitionWidth = 1 + data[0] % 80;
    const int acquisitionHeight = 1 + data[1] % 80;
    const bool sameSize = (data[2] & 0x80) == 0;
    const int frameWidth = sameSize ? acquisitionWidth : 1 + data[2] % 80;
    const int frameHeight = sameSize ? acquisitionHeight : 1 + data[3] % 80;
    const int formatCode = formatCodeFrom(data[4]);
    const uint8_t flags = data[5];
    const uint8_t detectionByteText = data[6];
    const uint8_t areaText = data[7];
    data += 8;
    size -= 8;

    // The camera guarantees width x height x bytes per pixel; the content is the fuzzer's, repeated.
    const std::size_t pixelBytes = std::size_t(frameWidth) * std::size_t(frameHeight) * 4;
    std::vector<unsigned char> pixels(pixelBytes, 0);
    for (std::size_t index = 0; size > 0 && index < pixelBytes; ++index)
        pixels[index] = data[index % size];

    const std::optional<calidra::PixelFormat> format = calidra::pixelFormatFromCode(formatCode);
    calidra::FrameRecord frame;
    frame.width = uint32_t(frameWidth);
    frame.height = uint32_t(frameHeight);
    frame.data = (flags & 1) ? nullptr : pixels.data();

    calidra::FrameBuffers buffers;
    buffers.allocate(acquisitionWidth, acquisitionHeight);
    const calidra::IntakeResult intake = calidra::intakeFrame(frame, format, buffers);
    if (intake.outcome == calidra::IntakeOutcome::Written &&
        (!format || frameWidth != acquisitionWidth || frameHeight != acquisitionHeight ||
         frame.data == nullptr))
        abort();
    if (intake.outcome == calidra::IntakeOutcome::SizeMismatch && buffers.skippedFrameCount() != 1)
        abort();

    calidra::FrameSettings settings = calidra::emptyFieldFallbacks();
    settings.detectionCelsius = (detectionByteText - 64) * 0.5;
    settings.minimumRegionArea = areaText % 50;
    maskfile::MaskRecords masks{};
    masks[0] = MaskInfo{0,
                        1,
                        0,
                        0,
                        uint16_t(acquisitionWidth / 2),
                        uint16_t(acquisitionHeight / 2),
                        uint16_t(acquisitionWidth),
                        uint16_t(acquisitionHeight)};
    calidra::HumanDetector detector;
    calidra::DetectionResults results;
    uint32_t tick = 0;
    detector.detectAndMeasure(
        buffers, format, settings, masks, [&tick] { return tick += 33; }, results);

    // The whole procedure, twice so the second frame sees the first one's state.
    calidra::FakePipelineHost host;
    host.formatCode = formatCode;
    host.folder = programFolder();
    host.windowExists = (flags & 2) == 0;
    host.settings.unit =
        (flags & 4) ? calidra::TemperatureUnit::Fahrenheit : calidra::TemperatureUnit::Celsius;
    host.settings.paletteNumber = int(flags >> 4) - 2;
    host.settings.fontSize = (flags >> 3) & 3;
    host.settings.alarmEvent = 1;
    host.settings.frame = calidra::readFrameSettings({std::to_string(int(detectionByteText) - 40),
                                                      std::to_string(int(detectionByteText) - 30),
                                                      std::string("0"), std::to_string(areaText % 50)},
                                                     host.settings.unit);
    host.cameraPicture.assign(pixels.begin(), pixels.end());
    calidra::FramePipeline pipeline(host);
    pipeline.setStreamSocketPath(programFolder() + "/no-stream-server");
    pipeline.allocateBuffers(acquisitionWidth, acquisitionHeight);
    SvkFrameRecord record{};
    record.width = uint32_t(frameWidth);
    record.height = uint32_t(frameHeight);
    record.data = frame.data;
    pipeline.processFrame(&record);
    pipeline.setNucRunning((flags & 8) != 0);
    pipeline.processFrame(&record);
    return 0;
}
