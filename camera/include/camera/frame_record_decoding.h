#pragma once
// The camera library's frame record and pixel-format codes in the station's own types: the one
// place that reads the record. Without Qt, so a fuzz target can take it in on its own.

#include "cameraframe/camera_frame.h"

#include <optional>

struct SvkFrameRecord;

namespace calidra {

// Empty for a code the station does not know.
std::optional<PixelFormat> pixelFormatFromCode(int formatCode);
int pixelFormatCode(PixelFormat format);

// The record read byte by byte (it is packed; its data pointer is not aligned), in the format the
// camera reported for it (empty: the camera could not say). Empty without a record. The frame
// points at the library's pixels, valid during the frame callback only.
std::optional<CameraFrame> decodeFrameRecord(const SvkFrameRecord* record, std::optional<int> formatCode);

} // namespace calidra
