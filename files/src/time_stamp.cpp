#include "time_stamp.h"

#include <cstdio>

namespace calidra::files {

std::string timeStamp(const std::tm& localTime) {
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    return text;
}

} // namespace calidra::files
