#pragma once
// The camera's picture of a frame SceneCodeDrawer drew, made from its layout instead of every code.

#include "scene.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace calidra::simulator {

// The same picture renderCameraPicture makes of the frame's codes: the background's picture, kept
// per palette, turned as the frame was, then the frame's rectangles painted in their colours.
// Codes on the offset scale.
class ScenePictureRenderer {
public:
    void render(const SceneFrameLayout& layout, std::size_t width, std::size_t height, int palette,
                unsigned char* bgr);

private:
    std::shared_ptr<const std::vector<uint16_t>> background_;
    int palette_ = -1;
    std::vector<uint8_t> backgroundPicture_; // blue, green, red per background code, in code order
};

} // namespace calidra::simulator
