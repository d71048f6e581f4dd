// Camera frame records of any size, format and content, also of another size than the
// acquisition's, decoded at the camera seam: the intake and detection on their own, then the whole
// frame procedure with a recording host.
#include "testsupport/fake_pipeline_host.h"
#include "pipeline/frame_settings.h"

#include "camera/frame_record_decoding.h"
#include "pipeline/frame_buffers.h"
#include "pipeline/frame_pipeline.h"
#include "pipeline/human_detection.h"

#include "svk.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
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

// The format the camera reports with the frame; empty: it could not say.
std::optional<int> formatCodeFrom(uint8_t selector) {
    switch (selector % 5) {
    case 0:
        return SVK_PIXEL_FORMAT_OFFSET16;
    case 1:
        return SVK_PIXEL_FORMAT_DIRECT16;
    case 2:
        return SVK_PIXEL_FORMAT_RGB_CODE32;
    case 3:
        return (selector & 0x80) ? std::nullopt : std::optional<int>(0);
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
    const std::optional<int> formatCode = formatCodeFrom(data[4]);
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

    // The packed record as the library hands it over, at an odd address as its pointer may be.
    unsigned char recordBytes[1 + sizeof(SvkFrameRecord)] = {};
    const uint32_t recordWidth = uint32_t(frameWidth);
    const uint32_t recordHeight = uint32_t(frameHeight);
    const void* recordData = (flags & 1) ? nullptr : pixels.data();
    std::memcpy(recordBytes + 1 + offsetof(SvkFrameRecord, width), &recordWidth, sizeof recordWidth);
    std::memcpy(recordBytes + 1 + offsetof(SvkFrameRecord, height), &recordHeight, sizeof recordHeight);
    std::memcpy(recordBytes + 1 + offsetof(SvkFrameRecord, data), &recordData, sizeof recordData);
    const std::optional<calidra::CameraFrame> decoded =
        calidra::decodeFrameRecord(reinterpret_cast<const SvkFrameRecord*>(recordBytes + 1), formatCode);
    if (!decoded || decoded->width != recordWidth || decoded->height != recordHeight ||
        decoded->pixels != recordData ||
        decoded->format != (formatCode ? calidra::pixelFormatFromCode(*formatCode) : std::nullopt))
        abort();
    const calidra::CameraFrame& frame = *decoded;
    const std::optional<calidra::PixelFormat> format = frame.format;

    calidra::FrameBuffers buffers;
    buffers.allocate(acquisitionWidth, acquisitionHeight);
    const calidra::IntakeResult intake = calidra::intakeFrame(frame, buffers);
    if (intake.outcome == calidra::IntakeOutcome::Written &&
        (!format || frameWidth != acquisitionWidth || frameHeight != acquisitionHeight ||
         frame.pixels == nullptr))
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
    pipeline.processFrame(frame);
    pipeline.setNucRunning((flags & 8) != 0);
    pipeline.processFrame(frame);
    return 0;
}
