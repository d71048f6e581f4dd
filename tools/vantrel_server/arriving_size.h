#pragma once
// What the server says when the station's pictures are not the size it was started for. A message
// on the socket is bare pixels, so the size is worked out from its length: the expected picture's
// shape scaled, or a size cameras and video commonly have; otherwise the length is named as it is.

#include <cstddef>
#include <string>

namespace calidra {

// "frames of 384 × 288 arrive; 640 × 480 expected", or with a length that fits no such size
// "frames of 1000 bytes arrive; 640 × 480 expected (921600 bytes)".
std::string arrivingSizeText(std::size_t messageBytes, int expectedWidth, int expectedHeight);

} // namespace calidra
