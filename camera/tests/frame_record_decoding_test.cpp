// The library's frame record read at the seam: every record the library may hand over, well-formed
// or not, and the pixel-format codes both ways.

#include "camera/frame_record_decoding.h"

#include "svk.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace calidra {
namespace {

TEST(FrameRecordDecodingTest, ReadsEveryRecordTheLibraryMayHandOver) {
    static const uint16_t pixels[4] = {1, 2, 3, 4};
    struct Case {
        std::string name;
        uint32_t width;
        uint32_t height;
        const void* data;
        std::optional<int> formatCode; // empty: the camera could not say
        std::optional<PixelFormat> format;
    };
    const Case cases[] = {
        {"offset scale", 640, 512, pixels, SVK_PIXEL_FORMAT_OFFSET16, PixelFormat::Offset16},
        {"direct scale", 384, 288, pixels, SVK_PIXEL_FORMAT_DIRECT16, PixelFormat::Direct16},
        {"camera picture", 2, 2, pixels, SVK_PIXEL_FORMAT_RGB_CODE32, PixelFormat::RgbCode32},
        {"unknown format", 2, 2, pixels, 105, std::nullopt},
        {"format zero", 2, 2, pixels, 0, std::nullopt},
        {"format not reported", 2, 2, pixels, std::nullopt, std::nullopt},
        {"no pixels", 2, 2, nullptr, SVK_PIXEL_FORMAT_DIRECT16, PixelFormat::Direct16},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        // At an odd address, so the pointer field is misaligned even for bytes.
        alignas(8) unsigned char storage[1 + sizeof(SvkFrameRecord)] = {};
        unsigned char* bytes = storage + 1;
        std::memcpy(bytes + 0, &test.width, 4);
        std::memcpy(bytes + 4, &test.height, 4);
        std::memset(bytes + 8, 0xAB, 4); // the unused field
        std::memcpy(bytes + 12, &test.data, sizeof test.data);

        const std::optional<CameraFrame> frame =
            decodeFrameRecord(reinterpret_cast<const SvkFrameRecord*>(bytes), test.formatCode);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->width, test.width);
        EXPECT_EQ(frame->height, test.height);
        EXPECT_EQ(frame->format, test.format);
        EXPECT_EQ(static_cast<const void*>(frame->pixels), test.data); // a view, never a copy
    }
    EXPECT_FALSE(decodeFrameRecord(nullptr, SVK_PIXEL_FORMAT_DIRECT16).has_value());

    for (PixelFormat format : {PixelFormat::Offset16, PixelFormat::Direct16, PixelFormat::RgbCode32})
        EXPECT_EQ(pixelFormatFromCode(pixelFormatCode(format)), format);
}

} // namespace
} // namespace calidra
