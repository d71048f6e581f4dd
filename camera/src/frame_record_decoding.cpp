#include "camera/frame_record_decoding.h"

#include "svk.h"

#include <cstddef>
#include <cstring>

namespace calidra {
namespace {

struct FormatCode {
    PixelFormat format;
    int code;
};

constexpr FormatCode formatCodes[] = {
    {PixelFormat::Offset16, SVK_PIXEL_FORMAT_OFFSET16},
    {PixelFormat::Direct16, SVK_PIXEL_FORMAT_DIRECT16},
    {PixelFormat::RgbCode32, SVK_PIXEL_FORMAT_RGB_CODE32},
};

} // namespace

std::optional<PixelFormat> pixelFormatFromCode(int formatCode) {
    for (const FormatCode& entry : formatCodes)
        if (entry.code == formatCode)
            return entry.format;
    return std::nullopt;
}

int pixelFormatCode(PixelFormat format) {
    for (const FormatCode& entry : formatCodes)
        if (entry.format == format)
            return entry.code;
    return 0;
}

std::optional<CameraFrame> decodeFrameRecord(const SvkFrameRecord* record, std::optional<int> formatCode) {
    if (record == nullptr)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    CameraFrame frame;
    const void* data = nullptr;
    std::memcpy(&frame.width, bytes + offsetof(SvkFrameRecord, width), sizeof frame.width);
    std::memcpy(&frame.height, bytes + offsetof(SvkFrameRecord, height), sizeof frame.height);
    std::memcpy(&data, bytes + offsetof(SvkFrameRecord, data), sizeof data);
    frame.pixels = static_cast<const unsigned char*>(data);
    if (formatCode)
        frame.format = pixelFormatFromCode(*formatCode);
    return frame;
}

} // namespace calidra
