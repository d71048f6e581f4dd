#pragma once
// Camera frames of a made-up scene: upright warm figures side by side on a room-temperature
// background, in the camera's own byte layout.

#include "pipeline/temperature_scale.h"

#include <cstdint>
#include <vector>

namespace calidra::bench {

struct SceneSpec {
    int width = 384;
    int height = 288;
    PixelFormat format = PixelFormat::Direct16;
    int people = 3;
};

struct SyntheticFrame {
    std::vector<unsigned char> pixels;        // width x height pixels as the camera sends them
    std::vector<unsigned char> cameraPicture; // what the camera renders itself (RgbCode32), bottom row first
    CameraFrame view() const;
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::Direct16;
};

// Figures are evenly spaced and far enough apart that the detection's closing never joins two;
// each has a face block at a different fever-screening temperature. Deterministic.
SyntheticFrame makeSyntheticFrame(const SceneSpec& spec);

} // namespace calidra::bench
