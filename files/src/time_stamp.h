#pragma once

#include <ctime>
#include <string>

namespace calidra::files {

// "YYYYMMDD_HHMMSS" of a local time, as the station's file names carry it.
std::string timeStamp(const std::tm& localTime);

} // namespace calidra::files
