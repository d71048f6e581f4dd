#pragma once
// The camera library libSorvikC.so behind the station's camera seam.

#include "camera/camera_library.h"

#include <memory>

namespace calidra {

std::unique_ptr<CameraLibrary> makeSorvikCameraLibrary();

} // namespace calidra
