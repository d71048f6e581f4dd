#pragma once
// The camera's own false-colour picture of a frame (what svkGetRGBData
// returns): bottom row first, 18.0 to 40.0 degrees over the palette's rows.

#include <cstddef>
#include <cstdint>

namespace calidra::simulator {

// Where the temperature codes of a frame are: every stepWords-th 16-bit word
// from codes, on the offset scale when zeroCelsiusCode is 1000 and on the
// direct scale when it is 0.
struct CodePlane {
    const uint16_t* codes = nullptr;
    std::size_t stepWords = 1;
    int zeroCelsiusCode = 1000;
};

// Writes width x height x 3 bytes (blue, green, red) into bgr.
void renderCameraPicture(const CodePlane& plane, std::size_t width, std::size_t height, int palette,
                         unsigned char* bgr);

} // namespace calidra::simulator
