#pragma once
// The camera's own false-colour picture of a frame (what svkGetRGBData
// returns): bottom row first, 18.0 to 40.0 degrees over the palette's rows.

#include "scene.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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

// The same picture of a frame SceneCodeDrawer drew, made from its layout instead of every code:
// the background's picture, kept per palette, turned as the frame was, then the frame's rectangles
// painted in their colours. Codes on the offset scale.
class ScenePictureRenderer {
public:
    void render(const SceneFrameLayout& layout, std::size_t width, std::size_t height, int palette,
                unsigned char* bgr);

private:
    std::shared_ptr<const std::vector<uint16_t>> background_;
    int palette_ = -1;
    std::vector<uint8_t> backgroundPicture_; // blue, green, red per background code, in code order
};

// A frame's pixels in the camera's pixel format from its offset-scale codes: 103 the codes, 104
// the codes on the direct scale, 110 two words per pixel of which the second is the code.
void layoutFramePixels(const uint16_t* codes, std::size_t count, int format, std::vector<uint8_t>& pixels);

} // namespace calidra::simulator
