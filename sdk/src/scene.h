#pragma once
// Draws the synthetic thermal scene of one camera: temperatures in degrees
// Celsius per pixel, row 0 at the top.

#include "camera_drift.h"
#include "scenario.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace calidra::simulator {

// The temperature scene at timeSeconds since the library started; frameIndex
// varies the background noise from frame to frame, deterministically.
// offsetCelsius is the camera's current compensation, added to every temperature.
void drawScene(const CameraScenario& camera, double offsetCelsius, double timeSeconds, uint64_t frameIndex,
               std::vector<float>& temperatures);
// The same as a drifting camera reports it.
void drawScene(const CameraScenario& camera, const CameraReading& reading, double timeSeconds,
               uint64_t frameIndex, std::vector<float>& temperatures);

// Where a person's figure centre is (fractions of the frame) at timeline seconds, when present.
bool personPosition(const Person& person, double timeline, double& x, double& y);

// Offset-scale code of a temperature: code = 10 x degrees + 1000.
uint16_t offsetCode(double celsius);

// A rectangle painted over the background: frame pixels, right and bottom excluded.
struct SceneFill {
    int left, top, right, bottom;
    uint16_t code;
};

// What a drawn frame is made of: the background's noise turned by `turn` pixels (pixel i of the
// frame shows background[(i + turn) % size]), then the rectangles in their order.
struct SceneFrameLayout {
    std::shared_ptr<const std::vector<uint16_t>> background;
    std::size_t turn = 0;
    std::vector<SceneFill> fills;
};

// The scene as the simulated camera draws it, straight as offset-scale codes and cheaply: the
// people and objects exactly as drawScene draws them, over a background of the same noise made
// once per camera (and again when the ambient or the offset changes) and turned by a different
// amount every frame, so that a frame costs little more than a copy. Deterministic from the seed
// and the frame number.
class SceneCodeDrawer {
public:
    void draw(const CameraScenario& camera, double offsetCelsius, double timeSeconds, uint64_t frameIndex,
              std::vector<uint16_t>& codes);
    void draw(const CameraScenario& camera, const CameraReading& reading, double timeSeconds,
              uint64_t frameIndex, std::vector<uint16_t>& codes);
    // How the frame drawn last was made.
    const SceneFrameLayout& layout() const { return layout_; }

private:
    void prepareBackground(const CameraScenario& camera, float ambient);

    float backgroundAmbient_ = 0.0f;
    uint16_t backgroundCode_ = 0; // of a background without noise
    SceneFrameLayout layout_;
};

} // namespace calidra::simulator
