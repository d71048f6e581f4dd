#pragma once
// Files the camera library is pointed at (scenario, replay, configuration) are opened without
// waiting on whatever stands at the path and used only when they are regular files of a sane
// size: /dev/zero or a FIFO there must fail svkInit at once, not hang it or fill the memory.

#include <cstddef>
#include <string>

namespace calidra::sorvik {

// Opens a regular file for reading; -1 with a reason ("is not a regular file", ...) otherwise.
// sizeBytes receives its size.
int openRegularFile(const std::string& path, std::size_t& sizeBytes, std::string& reason);

// The whole text of a regular file of at most maxBytes; false with a reason.
bool readRegularTextFile(const std::string& path, std::size_t maxBytes, std::string& text,
                         std::string& reason);

} // namespace calidra::sorvik
