#include "scene_picture.h"

#include "camera_picture.h"

#include <algorithm>
#include <cstring>

namespace calidra::simulator {

namespace {

// count pixels of one colour from pixel; room for a fourth byte after all but the last.
void paintRun(unsigned char* pixel, std::size_t count, uint32_t colour) {
    for (std::size_t x = 0; x + 1 < count; ++x, pixel += 3)
        std::memcpy(pixel, &colour, 4);
    if (count > 0)
        std::memcpy(pixel, &colour, 3);
}

} // namespace

void ScenePictureRenderer::render(const SceneFrameLayout& layout, std::size_t width, std::size_t height,
                                  int palette, unsigned char* bgr) {
    const std::size_t size = width * height;
    if (!layout.background || layout.background->size() != size || size == 0)
        return;
    const sorvik::PictureColours colours(palette, 1000);
    if (layout.background != background_ || palette != palette_) {
        background_ = layout.background;
        palette_ = palette;
        backgroundPicture_.resize(size * 3 + 1); // the last pixel's fourth byte
        for (std::size_t i = 0; i < size; ++i) {
            const uint32_t colour = colours.of((*background_)[i]);
            std::memcpy(&backgroundPicture_[i * 3], &colour, 4);
        }
    }
    for (std::size_t y = 0; y < height; ++y) {
        // The camera's picture comes bottom row first.
        const std::size_t start = ((height - 1 - y) * width + layout.turn) % size;
        const std::size_t first = std::min(width, size - start);
        unsigned char* row = bgr + y * width * 3;
        std::memcpy(row, &backgroundPicture_[start * 3], first * 3);
        std::memcpy(row + first * 3, &backgroundPicture_[0], (width - first) * 3);
    }
    for (const SceneFill& fill : layout.fills) {
        const uint32_t colour = colours.of(fill.code);
        for (int frameRow = fill.top; frameRow < fill.bottom; ++frameRow) {
            unsigned char* row = bgr + (height - 1 - std::size_t(frameRow)) * width * 3;
            paintRun(row + std::size_t(fill.left) * 3, std::size_t(fill.right - fill.left), colour);
        }
    }
}

} // namespace calidra::simulator
