#pragma once
// The picture RTSP clients see while the station sends nothing.

#include <vector>

namespace calidra {

// W x H x 3 blue-green-red bytes: dark grey with "No signal" in the middle.
std::vector<unsigned char> noSignalPicture(int width, int height);

} // namespace calidra
