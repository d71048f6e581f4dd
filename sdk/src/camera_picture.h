#pragma once
// The camera's own false-colour picture of a frame (what svkGetRGBData
// returns): bottom row first, 18.0 to 40.0 degrees over the palette's rows.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace calidra::sorvik {

// Where the temperature codes of a frame are: every stepWords-th 16-bit word
// from codes, on the offset scale when zeroCelsiusCode is 1000 and on the
// direct scale when it is 0.
struct CodePlane {
    const uint16_t* codes = nullptr;
    std::size_t stepWords = 1;
    int zeroCelsiusCode = 1000;
};

// The palette's colour of every code, each as four bytes (blue, green, red, and one the next
// pixel overwrites), so that a pixel is one store; codes outside the span take the end colours.
class PictureColours {
public:
    PictureColours(int palette, int zeroCelsiusCode);
    uint32_t of(uint16_t code) const { return colours_[std::clamp(int(code) - lowestCode_, 0, kSpanTenths)]; }

private:
    static constexpr int kLowestTenths = 180;
    static constexpr int kSpanTenths = 220;

    int lowestCode_;
    uint32_t colours_[kSpanTenths + 1];
};

// Writes width x height x 3 bytes (blue, green, red) into bgr.
void renderCameraPicture(const CodePlane& plane, std::size_t width, std::size_t height, int palette,
                         unsigned char* bgr);

// A frame's pixels in the camera's pixel format from its offset-scale codes: 103 the codes, 104
// the codes on the direct scale, 110 two words per pixel of which the second is the code.
void layoutFramePixels(const uint16_t* codes, std::size_t count, int format, std::vector<uint8_t>& pixels);

} // namespace calidra::sorvik
