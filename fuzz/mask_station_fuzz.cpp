// The mask file as the station reads and applies it: whatever bytes sit in maskinfo.cfg, against
// whatever frame size, end in the blanking the detector does on a warm frame.
#include "maskfile/maskinfo.h"
#include "pipeline/frame_settings.h"
#include "pipeline/frame_buffers.h"
#include "pipeline/human_detection.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& maskFilePath() {
    static const std::string path = [] {
        char folder[] = "/tmp/calidra-fuzz-mask-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            abort();
        return std::string(folder) + "/maskinfo.cfg";
    }();
    return path;
}

uint16_t word(const uint8_t* data) {
    return static_cast<uint16_t>(data[0] | (data[1] << 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Four bytes of frame size, the rest is the file (0-200 bytes of it).
    if (size < 4 || size > 204)
        return 0;
    const int frameWidth = word(data);
    const int frameHeight = word(data + 2);
    const uint8_t* fileBytes = data + 4;
    const size_t fileSize = size - 4;

    FILE* file = std::fopen(maskFilePath().c_str(), "wb");
    if (file == nullptr)
        abort();
    if (fileSize > 0 && std::fwrite(fileBytes, 1, fileSize, file) != fileSize)
        abort();
    std::fclose(file);

    maskfile::FileBytes buffer;
    buffer.fill(0xAA);
    const maskfile::MaskFileState state = maskfile::readMaskRegions(maskFilePath(), buffer).state;
    if (state != (fileSize == maskfile::kFileBytes ? maskfile::MaskFileState::Read
                                                   : maskfile::MaskFileState::WrongSize))
        abort();
    // Only a whole file is taken; anything else leaves no mask.
    for (size_t index = 0; index < buffer.size(); ++index)
        if (buffer[index] != (fileSize == maskfile::kFileBytes ? fileBytes[index] : 0))
            abort();
    const maskfile::MaskRecords records = maskfile::decodeRecords(buffer);
    if (maskfile::encodeRecords(records) != buffer)
        abort();

    // Any size for the rectangle check, including sizes no camera has.
    for (const MaskInfo& record : records) {
        const bool applies = maskfile::recordApplies(record, frameWidth, frameHeight);
        if (applies &&
            (long(record.nX) + record.nWidth > frameWidth || long(record.nY) + record.nHeight > frameHeight))
            abort();
        (void)maskfile::recordApplies(record, -frameWidth, frameHeight);
        (void)maskfile::recordApplies(record, frameWidth << 15, frameHeight << 15);
    }

    // A small frame, warm everywhere, so whatever is not blanked is one region.
    const int width = 1 + frameWidth % 96;
    const int height = 1 + frameHeight % 96;
    calidra::FrameBuffers buffers;
    buffers.allocate(width, height);
    const std::optional<calidra::PixelFormat> format = calidra::PixelFormat::Direct16;
    buffers.codePlane.setTo(365 + (frameWidth >> 12));
    buffers.detectionImage.setTo(calidra::detectionByte(365, *format));

    calidra::HumanDetector detector;
    calidra::DetectionResults results;
    calidra::FrameSettings settings = calidra::emptyFieldFallbacks();
    settings.minimumRegionArea = 1;
    uint32_t tick = 0;
    detector.detectAndMeasure(
        buffers, format, settings, records, [&tick] { return tick += 40; }, results);
    // A record over the whole frame leaves nothing to detect.
    for (const MaskInfo& record : records) {
        if (maskfile::recordApplies(record, width, height) && record.nX == 0 && record.nY == 0 &&
            record.nWidth == width && record.nHeight == height) {
            if (cv::countNonZero(detector.closedMask()) != 0 || !results.detections.empty())
                abort();
        }
    }
    return 0;
}
